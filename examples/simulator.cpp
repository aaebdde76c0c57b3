// meter-sim: plays an electricity meter. Sends the file a meter pushes on its
// optical port (open response, GetList response with the readings, close
// response), framed, to standard output or a serial device:
//
//   meter-sim [-n frames] [-i seconds] [--drop=RATE] [--insert=RATE]
//             [--flip=RATE] [--seed=N] [--escapes] [device]
//
// -n 0 sends for ever; the default is 3 frames, one a second. The fault
// options damage the byte stream as a noisy optical line does, repeatably
// for a given seed; --escapes adds readings whose bytes the transport must
// escape.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <fcntl.h>
#include <getopt.h>
#include <termios.h>
#include <unistd.h>

#include <sml/sml_file.h>
#include <sml/sml_transport.h>

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

int usage(const char *name) {
	std::fprintf(stderr,
		     "Usage: %s [-n frames] [-i seconds] [--drop=RATE] [--insert=RATE] [--flip=RATE] [--seed=N]\n"
		     "       [--escapes] [device]\n",
		     name);
	std::fprintf(stderr, "frames - how many to send, 0 for ever (3); seconds - pause between them (1);\n");
	std::fprintf(stderr, "RATE - chance per byte (0 to 1) that it is dropped, preceded by a random byte, or has a\n"
			     "bit flipped; N - seed of those faults (1); --escapes - readings that need escaping;\n");
	std::fprintf(stderr, "device - serial device to send on, or - for stdout (the default)\n");
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

} // namespace

int main(int argc, char **argv) {
	long frames = 3;
	long seconds = 1;
	bool escapes = false;
	line_faults faults;
	enum { opt_drop = 256, opt_insert, opt_flip, opt_seed, opt_escapes };
	static const option long_options[] = {
		{"drop", required_argument, nullptr, opt_drop},     {"insert", required_argument, nullptr, opt_insert},
		{"flip", required_argument, nullptr, opt_flip},     {"seed", required_argument, nullptr, opt_seed},
		{"escapes", no_argument, nullptr, opt_escapes}, {nullptr, 0, nullptr, 0},
	};
	int opt;
	while ((opt = getopt_long(argc, argv, "n:i:", long_options, nullptr)) != -1) {
		bool ok = true;
		switch (opt) {
		case 'n':
		case 'i': {
			char *end = nullptr;
			long v = std::strtol(optarg, &end, 10);
			ok = end != optarg && *end == '\0' && v >= 0;
			(opt == 'n' ? frames : seconds) = v;
			break;
		}
		case opt_drop: ok = parse_rate(optarg, faults.drop); break;
		case opt_insert: ok = parse_rate(optarg, faults.insert); break;
		case opt_flip: ok = parse_rate(optarg, faults.flip); break;
		case opt_seed: {
			char *end = nullptr;
			unsigned long long seed = std::strtoull(optarg, &end, 10);
			ok = end != optarg && *end == '\0';
			faults.rng.seed(seed);
			break;
		}
		case opt_escapes: escapes = true; break;
		default: ok = false;
		}
		if (!ok)
			return usage(argv[0]);
	}
	if (argc - optind > 1)
		return usage(argv[0]);

	const char *device = optind < argc ? argv[optind] : "-";
	int fd = std::strcmp(device, "-") == 0 ? STDOUT_FILENO : open_line(device);
	if (fd < 0) {
		std::fprintf(stderr, "meter-sim: open(%s): %s\n", device, std::strerror(errno));
		return 3;
	}

	for (long n = 0; frames == 0 || n < frames; n++) {
		if (n > 0 && seconds > 0)
			sleep(static_cast<unsigned>(seconds));
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
