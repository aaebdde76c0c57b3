// meter-sim: plays an electricity meter. Sends the file a meter pushes on its
// optical port (open response, GetList response with the readings, close
// response), framed, to standard output or a serial device:
//
//   meter-sim [-n frames] [-i seconds] [--drop=RATE] [--insert=RATE]
//             [--flip=RATE] [--seed=N] [--escapes] [device]
//
// -n 0 sends for ever; the default is 3 frames, one a second (-i takes
// fractions). The fault
// options damage the byte stream as a noisy optical line does, repeatably
// for a given seed; --escapes adds readings whose bytes the transport must
// escape.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <getopt.h>
#include <termios.h>
#include <unistd.h>

#include <sml/sml_file.h>
#include <sml/sml_transport.h>
#include <sml/zelkor_version.h>

#include "meter_file.hpp"

namespace {

// A meter's optical port: 9600 baud, 8 data bits, no parity, raw.
int open_line(const char *device) {
	int fd = open(device, O_RDWR | O_NOCTTY);
	if (fd < 0)
		return -1;
	termios config{};
	if (tcgetattr(fd, &config) == 0) {
		cfmakeraw(&config);
		cfsetispeed(&config, B9600);
		cfsetospeed(&config, B9600);
		tcsetattr(fd, TCSANOW, &config);
	}
	return fd;
}

void print_usage(std::FILE *to, const char *name) {
	std::fprintf(to,
		     "Usage: %s [-n frames] [-i seconds] [--drop=RATE] [--insert=RATE] [--flip=RATE]\n"
		     "       [--seed=N] [--escapes] [device]\n"
		     "       %s --help | --version\n"
		     "Plays an electricity meter: sends the SML frames a meter pushes on its optical port.\n"
		     "-n frames      how many to send, 0 for ever (3)\n"
		     "-i seconds     the pause between two frames, such as 0.5 (1)\n"
		     "--drop=RATE    the chance per byte (0 to 1) that it is lost\n"
		     "--insert=RATE  the chance per byte that a random byte comes before it\n"
		     "--flip=RATE    the chance per byte that one of its bits flips\n"
		     "--seed=N       the seed of those faults, a whole number (1)\n"
		     "--escapes      readings whose bytes the transport must escape\n"
		     "device         a serial device to send on, such as /dev/ttyUSB1, or - for standard\n"
		     "               output (the default)\n"
		     "-h, --help     this text\n"
		     "-V, --version  the version\n",
		     name, name);
}

// Wrong usage: what is wrong, and how it is used.
int refuse(const char *name, const char *what, const char *why) {
	std::fprintf(stderr, "meter-sim: %s%s%s\n", what, *why ? ": " : "", why);
	print_usage(stderr, name);
	return 1;
}

// A noisy line: each byte may be lost, follow a stray byte, or arrive with
// one bit flipped.
struct line_faults {
	double drop = 0, insert = 0, flip = 0;
	std::mt19937_64 rng{1};

	bool any() const { return drop > 0 || insert > 0 || flip > 0; }

	std::vector<unsigned char> apply(const unsigned char *p, size_t n) {
		std::uniform_real_distribution<double> chance(0.0, 1.0);
		std::vector<unsigned char> out;
		out.reserve(n + n / 8);
		for (size_t i = 0; i < n; i++) {
			if (chance(rng) < insert)
				out.push_back(static_cast<unsigned char>(rng()));
			if (chance(rng) < drop)
				continue;
			unsigned char b = p[i];
			if (chance(rng) < flip)
				b ^= static_cast<unsigned char>(1u << (rng() % 8));
			out.push_back(b);
		}
		return out;
	}
};

bool write_all(int fd, const unsigned char *p, size_t n) {
	while (n > 0) {
		ssize_t w = write(fd, p, n);
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0)
			return false;
		p += w;
		n -= static_cast<size_t>(w);
	}
	return true;
}

bool parse_rate(const char *text, double &rate) {
	char *end = nullptr;
	rate = std::strtod(text, &end);
	return end != text && *end == '\0' && rate >= 0.0 && rate <= 1.0;
}

bool parse_count(const char *text, long &count) {
	char *end = nullptr;
	errno = 0;
	count = std::strtol(text, &end, 10);
	return end != text && *end == '\0' && errno == 0 && count >= 0;
}

constexpr double max_pause = 86400;

bool parse_seconds(const char *text, double &seconds) {
	char *end = nullptr;
	seconds = std::strtod(text, &end);
	return end != text && *end == '\0' && std::isfinite(seconds) && seconds >= 0 && seconds <= max_pause;
}

bool parse_seed(const char *text, unsigned long long &seed) {
	char *end = nullptr;
	errno = 0;
	seed = std::strtoull(text, &end, 10);
	// strtoull takes "-1" for its largest value.
	return end != text && *end == '\0' && errno == 0 && std::isdigit(static_cast<unsigned char>(text[0]));
}

// The option getopt_long stopped at: arg when it is a long one (without
// its value), else the short option's letter.
std::string option_named(const char *arg, int letter) {
	if (std::strncmp(arg, "--", 2) == 0)
		return std::string(arg, std::strcspn(arg, "="));
	return std::string("-") + static_cast<char>(letter);
}

void pause_for(double seconds) {
	double whole = std::floor(seconds);
	timespec left{static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
	while (nanosleep(&left, &left) != 0 && errno == EINTR) {
	}
}

} // namespace

int main(int argc, char **argv) {
	long frames = 3;
	double seconds = 1;
	bool escapes = false;
	line_faults faults;
	enum { opt_drop = 256, opt_insert, opt_flip, opt_seed, opt_escapes };
	static const option long_options[] = {
		{"drop", required_argument, nullptr, opt_drop},     {"insert", required_argument, nullptr, opt_insert},
		{"flip", required_argument, nullptr, opt_flip},     {"seed", required_argument, nullptr, opt_seed},
		{"escapes", no_argument, nullptr, opt_escapes},     {"help", no_argument, nullptr, 'h'},
		{"version", no_argument, nullptr, 'V'},             {nullptr, 0, nullptr, 0},
	};
	const char *name = argv[0];
	opterr = 0;
	int opt, at = 0;
	while ((opt = getopt_long(argc, argv, ":n:i:hV", long_options, &at)) != -1) {
		std::string what = opt == 'n' || opt == 'i' ? std::string("-") + static_cast<char>(opt) + " " + optarg
				   : opt >= opt_drop && opt <= opt_seed ? std::string("--") + long_options[at].name + "=" + optarg
									: std::string();
		switch (opt) {
		case 'h':
			print_usage(stdout, name);
			return 0;
		case 'V':
			std::printf("meter-sim %s\n", sml_version());
			return 0;
		case 'n':
			if (!parse_count(optarg, frames))
				return refuse(name, what.c_str(), "not a number of frames, a whole number from 0 up");
			break;
		case 'i':
			if (!parse_seconds(optarg, seconds))
				return refuse(name, what.c_str(), "not a number of seconds from 0 to 86400");
			break;
		case opt_drop:
		case opt_insert:
		case opt_flip:
			if (!parse_rate(optarg, opt == opt_drop ? faults.drop : opt == opt_insert ? faults.insert : faults.flip))
				return refuse(name, what.c_str(), "not a rate from 0 to 1");
			break;
		case opt_seed: {
			unsigned long long seed = 0;
			if (!parse_seed(optarg, seed))
				return refuse(name, what.c_str(), "not a whole number from 0 to 18446744073709551615");
			faults.rng.seed(seed);
			break;
		}
		case opt_escapes: escapes = true; break;
		case ':':
			return refuse(name, (option_named(argv[optind - 1], optopt) + " needs a value").c_str(), "");
		default:
			return refuse(name, ("unknown option " + option_named(argv[optind - 1], optopt)).c_str(), "");
		}
	}
	if (argc - optind > 1)
		return refuse(name, (std::string("a second device ") + argv[optind + 1]).c_str(), "one at most");

	const char *device = optind < argc ? argv[optind] : "-";
	int fd = std::strcmp(device, "-") == 0 ? STDOUT_FILENO : open_line(device);
	if (fd < 0) {
		std::fprintf(stderr, "meter-sim: open(%s): %s\n", device, std::strerror(errno));
		return 3;
	}

	for (long n = 0; frames == 0 || n < frames; n++) {
		if (n > 0 && seconds > 0)
			pause_for(seconds);
		sml_file *file = meter::file(static_cast<unsigned>(n), meter::usual_readings, escapes);
		bool written;
		if (faults.any()) {
			size_t len = sml_transport_build(file);
			auto damaged = faults.apply(file->buf->buffer, len);
			written = write_all(fd, damaged.data(), damaged.size());
		} else {
			written = sml_transport_write(fd, file) != 0;
		}
		sml_file_free(file);
		if (!written) {
			std::fprintf(stderr, "meter-sim: write(%s): %s\n", device, std::strerror(errno));
			return 4;
		}
	}
	return 0;
}
