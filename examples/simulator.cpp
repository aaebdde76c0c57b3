// meter-sim: plays an electricity meter. Sends the file a meter pushes on its
// optical port (open response, GetList response with the readings, close
// response), framed, to standard output or a serial device:
//
//   meter-sim [-n frames] [-i seconds] [device]
//
// -n 0 sends for ever; the default is 3 frames, one a second.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
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

// One push of the meter: n counts the frames sent so far.
sml_file *reading(unsigned n) {
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
	std::fprintf(stderr, "Usage: %s [-n frames] [-i seconds] [device]\n", name);
	std::fprintf(stderr, "frames - how many to send, 0 for ever (3); seconds - pause between them (1);\n");
	std::fprintf(stderr, "device - serial device to send on, or - for stdout (the default)\n");
	return 1;
}

} // namespace

int main(int argc, char **argv) {
	long frames = 3;
	long seconds = 1;
	int opt;
	while ((opt = getopt(argc, argv, "n:i:")) != -1) {
		char *end = nullptr;
		long v = optarg ? std::strtol(optarg, &end, 10) : -1;
		if (opt == '?' || !end || *end != '\0' || v < 0)
			return usage(argv[0]);
		(opt == 'n' ? frames : seconds) = v;
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
		sml_file *file = reading(static_cast<unsigned>(n));
		int written = sml_transport_write(fd, file);
		sml_file_free(file);
		if (written == 0) {
			std::fprintf(stderr, "meter-sim: write(%s): %s\n", device, std::strerror(errno));
			return 4;
		}
	}
	return 0;
}
