// A C++ program on zelkor/zelkor.hpp against the installed library: the
// readings as a range with OBIS codes, exact decimals and unit symbols, a
// callback walk, a capture read in one call and through the decoder, and the
// tree API through owners that release its records. Built with and without
// exceptions.
#include <zelkor/zelkor.hpp>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// One message holding a GetList response: energy 1234500 at -1 in Wh and
// power -5 in W.
const unsigned char file[] = {
	0x76, 0x01, 0x62, 0x00, 0x62, 0x00, 0x72, 0x63, 0x07, 0x01, 0x77, 0x01, 0x03, 0x01, 0x02, 0x01, 0x01, 0x72,
	0x77, 0x07, 0x01, 0x00, 0x01, 0x08, 0x00, 0xFF, 0x01, 0x01, 0x62, 0x1E, 0x52, 0xFF, 0x65, 0x00, 0x12, 0xD6, 0x44, 0x01,
	0x77, 0x07, 0x01, 0x00, 0x10, 0x07, 0x00, 0xFF, 0x01, 0x01, 0x62, 0x1B, 0x52, 0x00, 0x52, 0xFB, 0x01,
	0x01, 0x01, 0x01, 0x00,
};

// The same file in a transport frame, as a meter sends it: start sequence,
// the file, a byte of padding, end block, CRC.
const unsigned char capture[] = {
	0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01,
	0x76, 0x01, 0x62, 0x00, 0x62, 0x00, 0x72, 0x63, 0x07, 0x01, 0x77, 0x01, 0x03, 0x01, 0x02, 0x01, 0x01, 0x72,
	0x77, 0x07, 0x01, 0x00, 0x01, 0x08, 0x00, 0xFF, 0x01, 0x01, 0x62, 0x1E, 0x52, 0xFF, 0x65, 0x00, 0x12, 0xD6, 0x44, 0x01,
	0x77, 0x07, 0x01, 0x00, 0x10, 0x07, 0x00, 0xFF, 0x01, 0x01, 0x62, 0x1B, 0x52, 0x00, 0x52, 0xFB, 0x01,
	0x01, 0x01, 0x01, 0x00,
	0x00, 0x1B, 0x1B, 0x1B, 0x1B, 0x1A, 0x01, 0x68, 0x24,
};

} // namespace

int main() {
	std::vector<std::string> lines;
	for (const zelkor::reading &r : zelkor::readings(file))
		if (auto number = r.number())
			lines.push_back(r.obis()->to_string() + "#" + number->to_string() + "#" +
					std::string(r.unit_symbol().value_or("")));

	constexpr auto energy = zelkor::obis_code::parse("1-0:1.8.0*255");
	int energy_readings = 0;
	zelkor::for_each_reading(file, [&](const zelkor::reading &r) { energy_readings += r.obis() == energy; });

	zelkor::file_ptr tree = zelkor::parse_file(file);
	auto *response = static_cast<sml_get_list_response *>(tree->messages[0]->message_body->data);
	zelkor::owned<sml_value> copy{sml_value_init()};
	copy->type = response->val_list->value->type;

	std::array<unsigned char, 256> area;
	int captured = 0;
	int delivered = zelkor::for_each_capture_reading(capture, area, [&](const zelkor::reading &r) {
		captured += r.number().has_value();
	});
	int decoded = 0;
	zelkor::decoder d(area, [&](const zelkor::stream_frame &f) {
		for (const zelkor::reading &r : f.readings())
			decoded += r.obis() == energy;
	});
	d.feed(capture);
	d.finish();

	bool ok = lines == std::vector<std::string>{"1-0:1.8.0*255#123450.0#Wh", "1-0:16.7.0*255#-5#W"} &&
		  delivered == 2 && captured == 2 && decoded == 1 &&
		  zelkor::readings(capture).error() == SML_READINGS_TRANSPORT_FRAME &&
		  energy_readings == 1 && zelkor::decimal(987, -3).to_string() == "0.987" &&
		  zelkor::unit_symbol(27) == "W" && copy->type == 0x64;
	for (const auto &line : lines)
		std::puts(line.c_str());
	std::puts(ok ? "c++ consumer ok" : "c++ consumer FAILED");
	return ok ? 0 : 1;
}
