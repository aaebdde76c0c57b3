// The text of what the bridge publishes: values as obisdump --json writes
// them, the state of a frame, Home Assistant discovery configs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <sml/sml_reading.h>

namespace zmqtt {

using bytes = std::span<const unsigned char>;

void append_hex(std::string &out, bytes b);
void append_json_string(std::string &out, std::string_view s);
// "2026-12-10T14:03:07.412Z"
void append_utc_millis(std::string &out, int64_t ms_since_1970);

// A reading's value: false when it has none. Numbers exact in JSON syntax,
// booleans true or false, octet strings in hex, times as a number of
// seconds or ISO 8601. json puts quotes around what is no JSON number or
// literal (octet strings and ISO times), as obisdump --json does.
bool append_value(std::string &out, const sml_reading &r, bool json);

// A reading's meter time: its own, else the response's; false without one.
bool append_time(std::string &out, const sml_reading_time &t, bool json);

// A time as a JSON member with its comma, as obisdump --json writes times: a
// count of seconds under seconds_key (it could be taken for a Unix time), a
// point in time as ISO 8601 under time_key; nothing without a time.
void append_time_member(std::string &out, const sml_reading_time &t, std::string_view seconds_key,
			std::string_view time_key);

// The symbol of a unit code for JSON: none for the placeholders of codes
// 253 to 255 ("(unitless)" and the like), as obisdump --json has it.
const char *unit_symbol(unsigned char code);

// "1-0:1.8.0*255"
void append_obis(std::string &out, const unsigned char obis[6], char dash = '-', char colon = ':', char dot = '.',
		 char star = '*');

// The manufacturer named by the three-letter code in a server id
// ("EMH metering" for 0a 01 'E' 'M' 'H' ...), the code itself when the
// table has no row, or empty when the id holds no such code.
std::string manufacturer(bytes server_id);

// Home Assistant's sensor classes of a numeric reading.
struct sensor_classes {
	const char *device_class = nullptr; // energy, power, voltage, current, frequency, ...
	const char *state_class = nullptr;  // total_increasing, measurement
	const char *unit = nullptr;         // unit_of_measurement
};
sensor_classes classes_of(const unsigned char obis[6], bool has_unit, unsigned char unit);

// Characters of a discovery topic's node id: letters, digits, _ and -.
std::string node_id(std::string_view meter);

} // namespace zmqtt
