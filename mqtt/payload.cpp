#include "payload.hpp"

#include <charconv>

#include <sml/sml_units.h>
#include <zelkor/zelkor.hpp>

#include "../examples/time_text.h"

namespace zmqtt {
namespace {

constexpr char hex_digits[] = "0123456789abcdef";

void append_number(std::string &out, uint64_t v) {
	char text[24];
	out.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

struct maker {
	const char *code;
	const char *name;
};

// FLAG codes of the makers of meters commonly read on their optical port.
constexpr maker makers[] = {
	{"APA", "Apator"},      {"DZG", "DZG Metering"}, {"EBZ", "eBZ"},          {"EFR", "EFR"},
	{"ELS", "Elster"},      {"EMH", "EMH metering"}, {"ESY", "EasyMeter"},    {"HAG", "Hager"},
	{"HLY", "Holley"},      {"ISK", "Iskraemeco"},   {"ITF", "ITF Fröschl"}, {"KFM", "Kaifa"},
	{"LGZ", "Landis+Gyr"},  {"LOG", "Logarex"},
};

bool upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

} // namespace

void append_hex(std::string &out, bytes b) {
	for (unsigned char c : b) {
		out += hex_digits[c >> 4];
		out += hex_digits[c & 15];
	}
}

void append_json_string(std::string &out, std::string_view s) {
	out += '"';
	for (char ch : s) {
		auto c = static_cast<unsigned char>(ch);
		if (c == '"' || c == '\\') {
			out += '\\';
			out += ch;
		} else if (c < 0x20) {
			out += "\\u00";
			out += hex_digits[c >> 4];
			out += hex_digits[c & 15];
		} else {
			out += ch;
		}
	}
	out += '"';
}

void append_utc_millis(std::string &out, int64_t ms) {
	int64_t millis = ms % 1000;
	millis += millis < 0 ? 1000 : 0;
	char text[TIME_TEXT_CHARS];
	time_text_iso(text, (ms - millis) / 1000, static_cast<int>(millis), false, 0);
	out += text;
}

bool append_time(std::string &out, const sml_reading_time &t, bool json) {
	char text[TIME_TEXT_CHARS];
	switch (time_text(text, &t)) {
	case TIME_TEXT_NONE:
		return false;
	case TIME_TEXT_SECONDS:
		out += text;
		return true;
	case TIME_TEXT_ISO:
	case TIME_TEXT_ISO_UTC:
		if (json)
			out += '"';
		out += text;
		if (json)
			out += '"';
		return true;
	}
	return false;
}

void append_time_member(std::string &out, const sml_reading_time &t, std::string_view seconds_key,
			std::string_view time_key) {
	char text[TIME_TEXT_CHARS];
	time_text_form form = time_text(text, &t);
	if (form == TIME_TEXT_NONE)
		return;
	out += ',';
	append_json_string(out, form == TIME_TEXT_SECONDS ? seconds_key : time_key);
	out += ':';
	if (form == TIME_TEXT_SECONDS)
		out += text;
	else
		append_json_string(out, text);
}

const char *unit_symbol(unsigned char code) { return code < 253 ? sml_unit_symbol(code) : nullptr; }

bool append_value(std::string &out, const sml_reading &r, bool json) {
	const auto &z = static_cast<const zelkor::reading &>(r);
	switch (r.kind) {
	case SML_READING_SIGNED:
	case SML_READING_UNSIGNED: {
		char text[zelkor::decimal::max_chars];
		out.append(text, z.number()->to_chars(text, text + sizeof text).ptr);
		return true;
	}
	case SML_READING_BOOLEAN:
		out += r.value.boolean ? "true" : "false";
		return true;
	case SML_READING_BYTES:
	case SML_READING_UNSUPPORTED:
		if (json)
			out += '"';
		append_hex(out, z.bytes());
		if (json)
			out += '"';
		return true;
	case SML_READING_TIME:
		return append_time(out, r.value.time, json);
	case SML_READING_NONE:
		break;
	}
	return false;
}

void append_obis(std::string &out, const unsigned char o[6], char dash, char colon, char dot, char star) {
	const char separators[] = {dash, colon, dot, dot, star};
	for (int i = 0; i < 6; i++) {
		if (i > 0)
			out += separators[i - 1];
		append_number(out, o[i]);
	}
}

std::string manufacturer(bytes id) {
	// Usually 0a 01 then the code; some meters leave out the leading byte.
	size_t at = id.size() >= 5 && upper(id[2]) && upper(id[3]) && upper(id[4])   ? 2
		    : id.size() >= 4 && upper(id[1]) && upper(id[2]) && upper(id[3]) ? 1
										       : 0;
	if (at == 0)
		return {};
	std::string code(reinterpret_cast<const char *>(id.data() + at), 3);
	for (const maker &m : makers)
		if (code == m.code)
			return m.name;
	return code;
}

sensor_classes classes_of(const unsigned char o[6], bool has_unit, unsigned char unit) {
	sensor_classes c;
	const char *symbol = has_unit ? unit_symbol(unit) : nullptr;
	c.unit = symbol;
	std::string_view u = symbol ? symbol : "";
	unsigned char quantity = o[2], kind = o[3];
	if (kind == 8 && quantity >= 1 && quantity <= 4) {
		c.state_class = "total_increasing";
		if (u == "Wh" || u == "kWh")
			c.device_class = "energy";
	} else if (kind == 7) {
		c.state_class = "measurement";
		if (u == "W")
			c.device_class = "power";
		else if (u == "V")
			c.device_class = "voltage";
		else if (u == "A")
			c.device_class = "current";
		else if (u == "Hz")
			c.device_class = "frequency";
		else if (u == "VA")
			c.device_class = "apparent_power";
		else if (u == "var")
			c.device_class = "reactive_power";
	}
	return c;
}

std::string node_id(std::string_view meter) {
	std::string out;
	for (char ch : meter) {
		auto c = static_cast<unsigned char>(ch);
		bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
			     c == '-';
		out += plain ? ch : '_';
	}
	return out;
}

} // namespace zmqtt
