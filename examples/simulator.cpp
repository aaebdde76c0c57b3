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
#include <string>
#include <vector>

#include <fcntl.h>
#include <getopt.h>
#include <termios.h>
#include <unistd.h>

#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_list.h>
#include <sml/sml_message.h>
#include <sml/sml_open_response.h>
#include <sml/sml_time.h>
#include <sml/sml_transport.h>

namespace {

// Manufacturer "ZLK", serial 12345678, as meters put it in their server id.
constexpr unsigned char server_id[] = {0x0a, 0x01, 'Z', 'L', 'K', 0x00, 0x00, 0xbc, 0x61, 0x4e};

struct obis {
	unsigned char a, b, c, d, e, f;
};

octet_string *bytes(const void *p, size_t n) {
	return sml_octet_string_init(static_cast<unsigned char *>(const_cast<void *>(p)), static_cast<int>(n));
}

octet_string *text(const std::string &s) { return bytes(s.data(), s.size()); }

template <class Int> Int *number(Int v) {
	return static_cast<Int *>(sml_number_init(static_cast<u64>(v), 0, sizeof(Int)));
}

sml_time *sec_index(u32 seconds) {
	sml_time *t = sml_time_init();
	t->tag = number<u8>(SML_TIME_SEC_INDEX);
	t->data.sec_index = number<u32>(seconds);
	return t;
}

sml_list *entry(obis name, sml_value *value, u8 *unit = nullptr, i8 *scaler = nullptr) {
	sml_list *e = sml_list_init();
	e->obj_name = bytes(&name, sizeof name);
	e->unit = unit;
	e->scaler = scaler;
	e->value = value;
	return e;
}

sml_value *string_value(octet_string *s) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_OCTET_STRING;
	v->data.bytes = s;
	return v;
}

sml_value *u64_value(u64 n) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_UNSIGNED | 8;
	v->data.uint64 = number<u64>(n);
	return v;
}

sml_value *u16_value(u16 n) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_UNSIGNED | 2;
	v->data.uint16 = number<u16>(n);
	return v;
}

sml_value *u32_value(u32 n) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_UNSIGNED | 4;
	v->data.uint32 = number<u32>(n);
	return v;
}

sml_value *i32_value(i32 n) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_INTEGER | 4;
	v->data.int32 = number<i32>(n);
	return v;
}

sml_value *bool_value(bool b) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_BOOLEAN;
	v->data.boolean = sml_boolean_init(b ? 0xff : 0x00);
	return v;
}

sml_message *message(u32 tag, void *body) {
	sml_message *msg = sml_message_init();
	msg->group_id = number<u8>(0);
	msg->abort_on_error = number<u8>(0);
	msg->message_body = sml_message_body_init(tag, body);
	return msg;
}

// One push of the meter: n counts the frames sent so far. With escapes, two
// more readings hold runs of 1B: a tariff register of 0x1B1B1B1B and a
// 16-byte key of 1B only.
sml_file *reading(unsigned n, bool escapes) {
	constexpr u8 wh = 30, w = 27, volt = 35;
	u32 uptime = 86400 + n;
	// 0.1 Wh steps: 1234.5 kWh imported, rising; power swings into feed-in
	// every fourth frame.
	u64 import = 12345000 + 7 * u64{n};
	u64 export_ = 4321000 + 2 * u64{n};
	i32 power = n % 4 == 3 ? -412 : 1500 + 25 * static_cast<i32>(n % 4);

	auto *open = sml_open_response_init();
	open->req_file_id = text("ZLK" + std::to_string(n));
	open->server_id = bytes(server_id, sizeof server_id);
	open->sml_version = number<u8>(1);

	sml_list *energy_in = entry({1, 0, 1, 8, 0, 255}, u64_value(import), number<u8>(wh), number<i8>(-1));
	// Status bits as the register reports them: running, no fault.
	energy_in->status = sml_status_init();
	energy_in->status->type = SML_TL_UNSIGNED | 4;
	energy_in->status->data.status32 = number<u32>(0x00010182);

	sml_list *first = entry({129, 129, 199, 130, 3, 255}, string_value(text("ZLK")));
	sml_list *last = first;
	for (sml_list *next : {
		     entry({1, 0, 0, 0, 9, 255}, string_value(bytes(server_id, sizeof server_id))),
		     energy_in,
		     entry({1, 0, 2, 8, 0, 255}, u64_value(export_), number<u8>(wh), number<i8>(-1)),
		     entry({1, 0, 16, 7, 0, 255}, i32_value(power), number<u8>(w), number<i8>(0)),
		     entry({1, 0, 32, 7, 0, 255}, u16_value(static_cast<u16>(2298 + n % 7)), number<u8>(volt),
			   number<i8>(-1)),
		     // Disconnect control: the relay is closed.
		     entry({0, 0, 96, 3, 10, 255}, bool_value(true)),
	     }) {
		sml_list_add(last, next);
		last = next;
	}
	if (escapes) {
		const std::vector<unsigned char> key(16, 0x1B);
		for (sml_list *next : {
			     entry({1, 0, 1, 8, 1, 255}, u32_value(0x1B1B1B1B), number<u8>(wh), number<i8>(-1)),
			     entry({129, 129, 199, 130, 5, 255}, string_value(bytes(key.data(), key.size()))),
		     }) {
			sml_list_add(last, next);
			last = next;
		}
	}

	auto *list = sml_get_list_response_init();
	list->server_id = bytes(server_id, sizeof server_id);
	list->act_sensor_time = sec_index(uptime);
	list->val_list = first;

	sml_file *file = sml_file_init();
	sml_file_add_message(file, message(SML_BODY_OPEN_RESPONSE, open));
	sml_file_add_message(file, message(SML_BODY_GET_LIST_RESPONSE, list));
	sml_file_add_message(file, message(SML_BODY_CLOSE_RESPONSE, sml_close_response_init()));
	return file;
}

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
		sml_file *file = reading(static_cast<unsigned>(n), escapes);
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
