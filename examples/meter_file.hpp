// The SML file a meter pushes on its optical port: open response, GetList
// response with the readings, close response. meter-sim sends it; the
// benchmarks build it in other sizes. Every record is built with the
// library's own init functions, so the file owns all of it and
// sml_file_free releases it whole.
#ifndef ZELKOR_EXAMPLES_METER_FILE_HPP
#define ZELKOR_EXAMPLES_METER_FILE_HPP

#include <string>
#include <type_traits>
#include <vector>

#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_list.h>
#include <sml/sml_message.h>
#include <sml/sml_open_response.h>
#include <sml/sml_time.h>

namespace meter {

// Manufacturer "ZLK", serial 12345678, as meters put it in their server id.
inline constexpr unsigned char server_id[] = {0x0a, 0x01, 'Z', 'L', 'K', 0x00, 0x00, 0xbc, 0x61, 0x4e};

// The readings of a plain household meter, as meter-sim sends them.
inline constexpr unsigned usual_readings = 7;

struct obis {
	unsigned char a, b, c, d, e, f;
};

inline octet_string *bytes(const void *p, size_t n) {
	return sml_octet_string_init(static_cast<unsigned char *>(const_cast<void *>(p)), static_cast<int>(n));
}

inline octet_string *text(const std::string &s) { return bytes(s.data(), s.size()); }

template <class Int> Int *number(Int v) {
	return static_cast<Int *>(sml_number_init(static_cast<u64>(v), 0, sizeof(Int)));
}

inline sml_time *sec_index(u32 seconds) {
	sml_time *t = sml_time_init();
	t->tag = number<u8>(SML_TIME_SEC_INDEX);
	t->data.sec_index = number<u32>(seconds);
	return t;
}

inline sml_list *entry(obis name, sml_value *value, u8 *unit = nullptr, i8 *scaler = nullptr) {
	sml_list *e = sml_list_init();
	e->obj_name = bytes(&name, sizeof name);
	e->unit = unit;
	e->scaler = scaler;
	e->value = value;
	return e;
}

inline sml_value *string_value(octet_string *s) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_OCTET_STRING;
	v->data.bytes = s;
	return v;
}

// An integer value at the width and signedness of its C type.
template <class Int> sml_value *int_value(Int n) {
	sml_value *v = sml_value_init();
	v->type = static_cast<u8>((std::is_signed_v<Int> ? SML_TL_INTEGER : SML_TL_UNSIGNED) | sizeof(Int));
	v->data.uint8 = reinterpret_cast<u8 *>(number<Int>(n));
	return v;
}

inline sml_value *bool_value(bool b) {
	sml_value *v = sml_value_init();
	v->type = SML_TL_BOOLEAN;
	v->data.boolean = sml_boolean_init(b ? 0xff : 0x00);
	return v;
}

inline sml_message *message(u32 tag, void *body) {
	sml_message *msg = sml_message_init();
	msg->group_id = number<u8>(0);
	msg->abort_on_error = number<u8>(0);
	msg->message_body = sml_message_body_init(tag, body);
	return msg;
}

// Reading i of the frame n frames into the run. The first seven are the
// usual ones; after them come registers of the same kinds, four per tariff
// or phase t: energy imported and exported in tariff t, power and voltage of
// phase t (named in the E field, so every name stays distinct).
inline sml_list *reading(unsigned n, unsigned i) {
	constexpr u8 wh = 30, w = 27, volt = 35;
	// 0.1 Wh steps: 1234.5 kWh imported, rising; power swings into feed-in
	// every fourth frame.
	u64 import = 12345000 + 7 * u64{n};
	u64 export_ = 4321000 + 2 * u64{n};
	i32 power = n % 4 == 3 ? -412 : 1500 + 25 * static_cast<i32>(n % 4);
	u16 voltage = static_cast<u16>(2298 + n % 7);
	switch (i) {
	case 0: return entry({129, 129, 199, 130, 3, 255}, string_value(text("ZLK")));
	case 1: return entry({1, 0, 0, 0, 9, 255}, string_value(bytes(server_id, sizeof server_id)));
	case 2: {
		sml_list *energy_in = entry({1, 0, 1, 8, 0, 255}, int_value<u64>(import), number<u8>(wh), number<i8>(-1));
		// Status bits as the register reports them: running, no fault.
		energy_in->status = sml_status_init();
		energy_in->status->type = SML_TL_UNSIGNED | 4;
		energy_in->status->data.status32 = number<u32>(0x00010182);
		return energy_in;
	}
	case 3: return entry({1, 0, 2, 8, 0, 255}, int_value<u64>(export_), number<u8>(wh), number<i8>(-1));
	case 4: return entry({1, 0, 16, 7, 0, 255}, int_value<i32>(power), number<u8>(w), number<i8>(0));
	case 5: return entry({1, 0, 32, 7, 0, 255}, int_value<u16>(voltage), number<u8>(volt), number<i8>(-1));
	// Disconnect control: the relay is closed.
	case 6: return entry({0, 0, 96, 3, 10, 255}, bool_value(true));
	}
	unsigned k = i - usual_readings;
	auto t = static_cast<unsigned char>(k / 4 + 1);
	switch (k % 4) {
	case 0: return entry({1, 0, 1, 8, t, 255}, int_value<u64>(import / 2 + t), number<u8>(wh), number<i8>(-1));
	case 1: return entry({1, 0, 2, 8, t, 255}, int_value<u64>(export_ / 2 + t), number<u8>(wh), number<i8>(-1));
	case 2: return entry({1, 0, 16, 7, t, 255}, int_value<i32>(power / 3 + t), number<u8>(w), number<i8>(0));
	default: return entry({1, 0, 32, 7, t, 255}, int_value<u16>(voltage), number<u8>(volt), number<i8>(-1));
	}
}

// One push of the meter, n frames into the run, with the given number of
// readings (at most 1027, so the tariff number fits its byte). With escapes,
// two more readings hold runs of 1B: a tariff register of 0x1B1B1B1B and a
// 16-byte key of 1B only.
inline sml_file *file(unsigned n, unsigned readings = usual_readings, bool escapes = false) {
	constexpr u8 wh = 30;
	std::vector<sml_list *> entries;
	for (unsigned i = 0; i < readings; i++)
		entries.push_back(reading(n, i));
	if (escapes) {
		const std::vector<unsigned char> key(16, 0x1B);
		entries.push_back(entry({1, 0, 1, 8, 1, 255}, int_value<u32>(0x1B1B1B1B), number<u8>(wh), number<i8>(-1)));
		entries.push_back(entry({129, 129, 199, 130, 5, 255}, string_value(bytes(key.data(), key.size()))));
	}
	for (size_t i = 1; i < entries.size(); i++)
		sml_list_add(entries[i - 1], entries[i]);

	auto *open = sml_open_response_init();
	open->req_file_id = text("ZLK" + std::to_string(n));
	open->server_id = bytes(server_id, sizeof server_id);
	open->sml_version = number<u8>(1);

	auto *list = sml_get_list_response_init();
	list->server_id = bytes(server_id, sizeof server_id);
	list->act_sensor_time = sec_index(86400 + n);
	list->val_list = entries.empty() ? nullptr : entries.front();

	sml_file *file = sml_file_init();
	sml_file_add_message(file, message(SML_BODY_OPEN_RESPONSE, open));
	sml_file_add_message(file, message(SML_BODY_GET_LIST_RESPONSE, list));
	sml_file_add_message(file, message(SML_BODY_CLOSE_RESPONSE, sml_close_response_init()));
	return file;
}

} // namespace meter

#endif
