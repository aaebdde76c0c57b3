// obisdump as a program: frames on stdin, readings on stdout, diagnostics on
// stderr, exit statuses.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sml/zelkor_version.h>

#include "frame.hpp"
#include "json.hpp"
#include "process.hpp"
#include "sml_test.hpp"

#include "../examples/unit.h"

namespace {

using test::bytes;
using test::framed;
using test::joined;
using test::lines_of;
using test::program;

const std::string obisdump = program("obisdump");

// A program's command line, and what it must give: status, stdout, stderr.
struct command_line {
	std::vector<std::string> args;
	int status;
	std::string out, err;
};

void expect_runs(const std::string &name, const std::vector<command_line> &cases) {
	for (const auto &c : cases) {
		std::vector<std::string> args{name};
		args.insert(args.end(), c.args.begin(), c.args.end());
		SCOPED_TRACE(args.size() > 1 ? args[1] : name);
		auto r = test::run(args);
		EXPECT_EQ(r.status, c.status);
		EXPECT_EQ(r.out, c.out);
		EXPECT_EQ(r.err, c.err);
	}
}

// One message holding a GetList response with the given value list; every
// other field absent, the message CRC too.
std::vector<unsigned char> get_list_file(const std::string &val_list) {
	return bytes("76 01 01 01 72 63 0701 77 01 01 01 01" + val_list + "01 01 01 00");
}

// What obisdump prints for a frame before its readings.
std::string summary(const std::vector<unsigned char> &frame, int messages, const char *tags) {
	return "SML file (" + std::to_string(messages) + " SML messages, " + std::to_string(frame.size() - 16) +
	       " bytes)\n" + tags + "OBIS data\n";
}

const char *const meter_tags = "SML message  101\nSML message  701\nSML message  201\n";

TEST(Obisdump, UsageOnAWrongArgumentCount) {
	const std::string usage = "Usage: " + obisdump +
				  " <device>\n"
				  "device - serial device of connected power meter e.g. /dev/cu.usbserial, or - for stdin\n";
	for (const auto &args : {std::vector<std::string>{obisdump}, {obisdump, "-", "-"}}) {
		SCOPED_TRACE(args.size());
		auto r = test::run(args);
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.out, usage);
		EXPECT_EQ(r.err, "");
	}
}

TEST(Obisdump, HelpVersionAndWrongOptions) {
	const std::string usage =
		"Usage: " + obisdump + " [--json | --exact] [--baud N] [--silence S] <device>\n"
		"       " + obisdump + " --help | --version\n"
		"Prints every reading an electricity meter sends in SML (Smart Message Language).\n"
		"device        the meter's serial device, such as /dev/ttyUSB0 or /dev/ttyAMA0 (a name\n"
		"              under /dev/serial/by-id/ stays the same across reboots); a capture file\n"
		"              or a FIFO, read to its end; or - for standard input\n"
		"--json        one JSON object per reading, one per line (JSON Lines); numbers are exact\n"
		"--exact       numbers as exact decimals, not rounded to one decimal place\n"
		"--baud N      the line's rate: 300, 600, 1200, 2400, 4800, 9600 (the default), 19200,\n"
		"              38400, 57600 or 115200\n"
		"--silence S   a line on stderr when nothing arrives for S seconds (30; 0: never)\n"
		"-h, --help    this text\n"
		"-V, --version the version\n";
	const std::string legacy = "Usage: " + obisdump + " <device>\n"
				   "device - serial device of connected power meter e.g. /dev/cu.usbserial, or - for stdin\n";
	const std::string version = std::string("obisdump ") + ZELKOR_VERSION_STRING + "\n";
	ASSERT_STREQ(sml_version(), ZELKOR_VERSION_STRING);
	const std::vector<command_line> cases = {
		{{"--help"}, 0, usage, ""},
		{{"-h"}, 0, usage, ""},
		{{"--json", "--help", "-"}, 0, usage, ""},
		{{"--version"}, 0, version, ""},
		{{"-V"}, 0, version, ""},
		{{"--bogus", "-"}, 1, "", "obisdump: unknown option --bogus\n" + usage},
		{{"-x"}, 1, "", "obisdump: unknown option -x\n" + usage},
		{{"--baud", "1000", "-"}, 1, "", "obisdump: --baud 1000: not a rate the line takes\n" + usage},
		{{"--baud=-9600", "-"}, 1, "", "obisdump: --baud -9600: not a rate the line takes\n" + usage},
		{{"-", "--baud"}, 1, "", "obisdump: --baud needs a rate\n" + usage},
		{{"--silence", "x", "-"}, 1, "", "obisdump: --silence x: not a number of seconds from 0 to 86400\n" + usage},
		{{"--silence=-1", "-"}, 1, "", "obisdump: --silence -1: not a number of seconds from 0 to 86400\n" + usage},
		// JSON is exact anyway; the rate and the silence are a line's only.
		{{"--json", "--exact", "-"}, 0, "", ""},
		{{"--baud", "300", "--silence=0.5", "-"}, 0, "", ""},
		// Without a device, or with two, as before there were options; JSON
		// keeps its standard output for JSON.
		{{"--json"}, 1, "", legacy},
		{{"--exact", "-", "-"}, 1, legacy, ""},
	};
	expect_runs(obisdump, cases);
}

TEST(Obisdump, MissingDevice) {
	const std::string err = "error: open(/nonexistent/ttyUSB9): No such file or directory\n";
	const std::string failed = "Error: failed to open device (/nonexistent/ttyUSB9)\n";
	auto r = test::run({obisdump, "/nonexistent/ttyUSB9"});
	EXPECT_EQ(r.status, 3);
	EXPECT_EQ(r.err, err);
	EXPECT_EQ(r.out, failed);
	// A pipe into a broker gets JSON or nothing.
	r = test::run({obisdump, "--json", "/nonexistent/ttyUSB9"});
	EXPECT_EQ(r.status, 3);
	EXPECT_EQ(r.err, err + failed);
	EXPECT_EQ(r.out, "");
}

TEST(Obisdump, EveryKindOfReading) {
	struct entry {
		const char *wire;
		const char *out;
		const char *err;
	};
	// name 01 00 01 08 00 FF is 1-0:1.8.0*255; 987 is 63 03 DB.
	const entry entries[] = {
		{"77 07 0100010800FF 01 01 621E 52FF 6303DB 01", "1-0:1.8.0*255#98.7#Wh", nullptr},
		{"77 07 0100010800FF 01 01 621E 52FD 6303DB 01", "1-0:1.8.0*255#1.0#Wh", nullptr},
		{"77 07 0100010800FF 01 01 621E 01   6303DB 01", "1-0:1.8.0*255#987.0#Wh", nullptr},
		{"77 07 0100010800FF 01 01 623A 52FF 6303DB 01", "1-0:1.8.0*255#98.7#", nullptr},
		{"77 07 0100010800FF 01 01 62FF 52FF 6303DB 01", "1-0:1.8.0*255#98.7#(unitless)", nullptr},
		{"77 07 0100010800FF 01 01 01   52FF 6303DB 01", "1-0:1.8.0*255#98.7#", nullptr},
		{"77 07 0100100700FF 01 01 621B 5200 52FB 01", "1-0:16.7.0*255#-5.0#W", nullptr},
		{"77 07 0100010800FF 01 01 621E 52FC 69 0000000003DF435B 01", "1-0:1.8.0*255#6496.3#Wh", nullptr},
		{"77 07 8181C78203FF 01 01 01 01 04 58595A 01", "129-129:199.130.3*255#XYZ#", nullptr},
		{"77 07 0100000009FF 01 01 01 01 03 0A01 01", "1-0:0.0.9*255#0a 01 #", nullptr},
		// An empty octet string: 80 02 is a two-byte TL of length 0.
		{"77 07 0100600100FF 01 01 01 01 8002 01", "1-0:96.1.0*255##", nullptr},
		{"77 07 000060030AFF 01 01 01 01 4200 01", "0-0:96.3.10*255#false#", nullptr},
		{"77 07 000060030AFF 01 01 01 01 4201 01", "0-0:96.3.10*255#true#", nullptr},
		{"77 07 0100010800FF 01 01 621E 52FF 01 01", nullptr,
		 "Error in data stream. entry->value should not be NULL. Skipping this."},
		// Only a name of six bytes is an OBIS code: others print in hex,
		// never as the code of their first six bytes.
		{"77 06 0100010800 01 01 621E 52FF 6303DB 01", "0100010800#98.7#Wh", nullptr},
		{"77 08 0100010800FF07 01 01 621E 52FF 6303DB 01", "0100010800ff07#98.7#Wh", nullptr},
		{"77 8002 01 01 621E 52FF 6303DB 01", "#98.7#Wh", nullptr},
		{"77 01 01 01 621E 52FF 6303DB 01", nullptr,
		 "Error in data stream. entry->obj_name should hold six bytes. Skipping this."},
		{"77 07 0100020800FF 01 01 621E 52FF 6303DB 01", "1-0:2.8.0*255#98.7#Wh", nullptr},
	};
	std::string list = "F1 03"; // 19 entries
	std::string out, err;
	for (const auto &e : entries) {
		list += e.wire;
		if (e.out)
			out += std::string(e.out) + "\n";
		if (e.err)
			err += std::string(e.err) + "\n";
	}
	ASSERT_EQ(std::size(entries), 19u);
	auto frame = framed(get_list_file(list));
	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.out, summary(frame, 1, "SML message  701\n") + out);
	EXPECT_EQ(r.err, err);
	EXPECT_EQ(r.status, 0);
}

// Every line of --json output as a JSON object, written back compactly
// without its "received", which must be the time the frame arrived: ISO 8601
// UTC with milliseconds, between the program's start and end.
std::vector<std::string> json_objects(const std::string &out, std::chrono::system_clock::time_point start,
				      std::chrono::system_clock::time_point end) {
	std::vector<std::string> objects;
	for (const auto &line : lines_of(out)) {
		SCOPED_TRACE(line);
		auto v = test::json::parse(line);
		if (!v || v->kind != test::json::value::object) {
			ADD_FAILURE() << "not a JSON object";
			continue;
		}
		const auto *received = v->find("received");
		if (!received || received->kind != test::json::value::string) {
			ADD_FAILURE() << "no received";
			continue;
		}
		std::tm tm{};
		int millis = -1, n = 0;
		const std::string &t = received->text;
		if (std::sscanf(t.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
				&tm.tm_hour, &tm.tm_min, &tm.tm_sec, &millis, &n) != 7 ||
		    static_cast<size_t>(n) != t.size() || t.size() != 24) {
			ADD_FAILURE() << "received is no ISO 8601 UTC time with milliseconds";
		} else {
			tm.tm_year -= 1900;
			tm.tm_mon -= 1;
			auto at = std::chrono::system_clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(millis);
			EXPECT_GE(at, std::chrono::floor<std::chrono::milliseconds>(start));
			EXPECT_LE(at, end);
		}
		std::erase_if(v->members, [](const auto &m) { return m.first == "received"; });
		objects.push_back(test::json::compact(*v));
	}
	return objects;
}

struct json_run {
	test::outcome r;
	std::vector<std::string> objects;
};

json_run run_json(const std::vector<unsigned char> &frame) {
	auto start = std::chrono::system_clock::now();
	auto r = test::run({obisdump, "--json", "-"}, frame);
	auto end = std::chrono::system_clock::now();
	return {r, json_objects(r.out, start, end)};
}

TEST(Obisdump, NumbersRoundedAndExact) {
	const struct {
		const char *wire;
		const char *rounded; // as obisdump has always printed them
		const char *exact;
	} cases[] = {
		{"77 07 01001F0700FF 01 01 6221 52FE 620B 01", "1-0:31.7.0*255#0.1#A", "1-0:31.7.0*255#0.11#A"},
		{"77 07 01000E0700FF 01 01 622C 52FE 631386 01", "1-0:14.7.0*255#50.0#Hz", "1-0:14.7.0*255#49.98#Hz"},
		{"77 07 0100010800FF 01 01 621E 52FD 6303DB 01", "1-0:1.8.0*255#1.0#Wh", "1-0:1.8.0*255#0.987#Wh"},
		{"77 07 0100100700FF 01 01 621B 52FE 53D993 01", "1-0:16.7.0*255#-98.4#W", "1-0:16.7.0*255#-98.37#W"},
		{"77 07 0100100700FF 01 01 621B 52FD 52FF 01", "1-0:16.7.0*255#-0.0#W", "1-0:16.7.0*255#-0.001#W"},
		// No scaler; a positive one appends zeros.
		{"77 07 0100010800FF 01 01 621E 01 6303DB 01", "1-0:1.8.0*255#987.0#Wh", "1-0:1.8.0*255#987#Wh"},
		{"77 07 0100010800FF 01 01 621E 5203 635310 01", "1-0:1.8.0*255#21264000.0#Wh",
		 "1-0:1.8.0*255#21264000#Wh"},
		{"77 07 0100010800FF 01 01 621E 5203 6200 01", "1-0:1.8.0*255#0.0#Wh", "1-0:1.8.0*255#0#Wh"},
		// A five-byte signed number, as some meters send.
		{"77 07 0100010800FF 01 01 621E 52FF 56001054F2FE 01", "1-0:1.8.0*255#27400268.6#Wh",
		 "1-0:1.8.0*255#27400268.6#Wh"},
		// 64-bit extremes: a double holds them only approximately.
		{"77 07 0100010800FF 01 01 01 01 69FFFFFFFFFFFFFFFF 01", "1-0:1.8.0*255#18446744073709551616.0#",
		 "1-0:1.8.0*255#18446744073709551615#"},
		{"77 07 0100010800FF 01 01 01 52FE 598000000000000000 01", "1-0:1.8.0*255#-92233720368547760.0#",
		 "1-0:1.8.0*255#-92233720368547758.08#"},
		{"77 07 0100010800FF 01 01 01 52FF 597FFFFFFFFFFFFFFF 01", "1-0:1.8.0*255#922337203685477632.0#",
		 "1-0:1.8.0*255#922337203685477580.7#"},
		// The scalers furthest from 0.
		{"77 07 0100010800FF 01 01 01 5280 69FFFFFFFFFFFFFFFF 01", "1-0:1.8.0*255#0.0#",
		 nullptr /* 0.<108 zeros>18446744073709551615 */},
		{"77 07 0100010800FF 01 01 01 527F 6201 01",
		 "1-0:1.8.0*255#9999999999999999549291066784979473595300225087383524118479625982517885450291174622154390152298"
		 "057300868772377386949310916067328.0#",
		 nullptr /* 1<127 zeros> */},
	};
	const std::string far_below = "1-0:1.8.0*255#0." + std::string(108, '0') + "18446744073709551615#";
	const std::string far_above = "1-0:1.8.0*255#1" + std::string(127, '0') + "#";
	std::string list = "7E";
	std::string rounded, exact;
	std::vector<std::string> exact_values;
	for (const auto &c : cases) {
		list += c.wire;
		rounded += std::string(c.rounded) + "\n";
		std::string e = c.exact ? c.exact : &c == &cases[12] ? far_below : far_above;
		exact += e + "\n";
		exact_values.push_back(e.substr(e.find('#') + 1, e.rfind('#') - e.find('#') - 1));
	}
	ASSERT_EQ(std::size(cases), 14u);
	auto frame = framed(get_list_file(list));
	const std::string head = summary(frame, 1, "SML message  701\n");

	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.out, head + rounded);
	EXPECT_EQ(r.err, "");
	r = test::run({obisdump, "--exact", "-"}, frame);
	EXPECT_EQ(r.out, head + exact);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);

	// JSON numbers are the exact decimals, written as they are.
	auto j = run_json(frame);
	EXPECT_EQ(j.r.err, "");
	ASSERT_EQ(j.objects.size(), exact_values.size());
	for (size_t i = 0; i < exact_values.size(); i++) {
		auto v = test::json::parse(lines_of(j.r.out)[i]);
		ASSERT_TRUE(v);
		const auto *value = v->find("value");
		ASSERT_TRUE(value);
		EXPECT_EQ(value->kind, test::json::value::number);
		EXPECT_EQ(value->text, exact_values[i]);
	}
}

// A meter's GetList response with values of every kind and times in every
// form, then a profile-list response: server 0A 01 5A 4C 4B 00 00 BC 61 4E,
// sensor time sec index 86400. 1700000000 is 6553F100,
// 2023-11-14T22:13:20Z.
std::vector<unsigned char> every_kind_file() {
	return joined({
		bytes("76 01 01 01 72 63 0701 77 01 0B 0A015A4C4B0000BC614E 01 72 6201 6500015180"
		      "7B"
		      "77 07 0100010800FF 6500010182 01 621E 52FF 6500BC5EA8 01"
		      "77 07 000060030AFF 01 72 6202 656553F100 01 01 4201 01"
		      // Local time: one hour ahead.
		      "77 07 8181C78203FF 01 72 6203 73 656553F100 53003C 530000 01 01 0458595A 01"
		      // List-typed values: times, and a timestamped value kept as encoded.
		      "77 07 810060080001 01 01 6207 01 72 6201 72 6201 65001E3F50 01"
		      "77 07 0000010000FF 01 01 01 01 72 6201 72 6202 656553F100 01"
		      "77 07 000001000001 01 01 01 01 72 6201 72 6203 73 656553F100 53FF88 53FFC4 01"
		      "77 07 01006301 00FF 01 01 01 01 72 6202 72 6500000001 5205 01"
		      // A unit code without a symbol.
		      "77 07 01006005 05FF 01 01 623A 5200 6205 01"
		      "77 07 0100020800FF 01 01 621E 52FF 01 01"
		      "77 06 0100020800 01 01 621E 52FF 6303DB 01"
		      "77 07 0100600100FF 01 01 01 01 8002 01"
		      "01 01 01 00"),
		bytes("76 01 01 01 72 63 0401 79 06 0102030405 72 6202 656553F100 65 00000384 71 07 0100010800FF"
		      "72 6201 6500000E10 6200 71 75 07 0100010800FF 621E 52FF 6303DB 01 01 01 01 00"),
	});
}

TEST(Obisdump, EveryKindOfValueAndTimeInEachFormat) {
	auto frame = framed(every_kind_file());
	const std::string head = summary(frame, 2, "SML message  701\nSML message  401\n");
	const std::string err = "Error in data stream. entry->value should not be NULL. Skipping this.\n";
	// Only the GetList readings, as ever; only numbers have units.
	const std::string text = "#true#\n"
				 "129-129:199.130.3*255#XYZ#\n"
				 "129-0:96.8.0*1#1982288#\n"
				 "0-0:1.0.0*255#2023-11-14T22:13:20Z#\n"
				 "0-0:1.0.0*1#2023-11-14T19:13:20-03:00#\n"
				 "1-0:99.1.0*255#72 62 02 72 65 00 00 00 01 52 05 #\n";
	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.out, head + "1-0:1.8.0*255#1234500.0#Wh\n0-0:96.3.10*255" + text + "1-0:96.5.5*255#5.0#\n" +
				 "0100020800#98.7#Wh\n1-0:96.1.0*255##\n");
	EXPECT_EQ(r.err, err);
	EXPECT_EQ(r.status, 0);
	r = test::run({obisdump, "--exact", "-"}, frame);
	EXPECT_EQ(r.out, head + "1-0:1.8.0*255#1234500.0#Wh\n0-0:96.3.10*255" + text + "1-0:96.5.5*255#5#\n" +
				 "0100020800#98.7#Wh\n1-0:96.1.0*255##\n");
	EXPECT_EQ(r.err, err);

	// Every reading, profiles too; keys only for the fields present.
	const std::string server = R"("server_id":"0a015a4c4b0000bc614e")";
	auto j = run_json(frame);
	EXPECT_EQ(j.r.err, err);
	EXPECT_EQ(j.r.status, 0);
	EXPECT_EQ(j.objects, (std::vector<std::string>{
		R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":1234500.0,"unit":"Wh","unit_code":30,"status":65922,"meter_seconds":86400,)" + server + "}",
		R"({"obis":"0-0:96.3.10*255","value":true,"meter_time":"2023-11-14T22:13:20Z",)" + server + "}",
		R"({"obis":"129-129:199.130.3*255","name":"Manufacturer","value":"58595a","meter_time":"2023-11-14T23:13:20+01:00",)" + server + "}",
		R"({"obis":"129-0:96.8.0*1","value":1982288,"unit":"s","unit_code":7,"meter_seconds":86400,)" + server + "}",
		R"({"obis":"0-0:1.0.0*255","value":"2023-11-14T22:13:20Z","meter_seconds":86400,)" + server + "}",
		R"({"obis":"0-0:1.0.0*1","value":"2023-11-14T19:13:20-03:00","meter_seconds":86400,)" + server + "}",
		R"({"obis":"1-0:99.1.0*255","value":"7262027265000000015205","meter_seconds":86400,)" + server + "}",
		R"({"obis":"1-0:96.5.5*255","value":5,"unit_code":58,"meter_seconds":86400,)" + server + "}",
		R"({"name_hex":"0100020800","value":98.7,"unit":"Wh","unit_code":30,"meter_seconds":86400,)" + server + "}",
		R"({"obis":"1-0:96.1.0*255","name":"Meter ID","value":"","meter_seconds":86400,)" + server + "}",
		R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30,"status":0,"meter_seconds":3600,"server_id":"0102030405"})",
	}));
	// One time per frame.
	auto out = lines_of(j.r.out);
	ASSERT_FALSE(out.empty());
	for (const auto &line : out)
		EXPECT_EQ(line.substr(line.find("\"received\":")), out[0].substr(out[0].find("\"received\":")));
}

// The keys of one GetList entry each (no server, no sensor time): "unit"
// only for a code with a real symbol, seconds apart from points in time,
// the name where the code has one, and times in UTC where their offsets
// leave ISO 8601. 1700000000 is 6553F100, 2023-11-14T22:13:20Z.
TEST(Obisdump, JsonKeysOfAnEntry) {
	const struct {
		const char *wire, *json, *text;
	} cases[] = {
		{"77 07 0100100700FF 01 01 62FF 5200 5305DC 01",
		 R"({"obis":"1-0:16.7.0*255","name":"Active power","value":1500,"unit_code":255})",
		 "1-0:16.7.0*255#1500.0#(unitless)"},
		{"77 07 0100100700FF 01 01 62FE 5200 5305DC 01",
		 R"({"obis":"1-0:16.7.0*255","name":"Active power","value":1500,"unit_code":254})",
		 "1-0:16.7.0*255#1500.0#(other)"},
		{"77 07 0100100700FF 01 01 62FD 5200 5305DC 01",
		 R"({"obis":"1-0:16.7.0*255","name":"Active power","value":1500,"unit_code":253})",
		 "1-0:16.7.0*255#1500.0#(reserved)"},
		{"77 07 0100100700FF 01 01 623A 5200 5305DC 01",
		 R"({"obis":"1-0:16.7.0*255","name":"Active power","value":1500,"unit_code":58})",
		 "1-0:16.7.0*255#1500.0#"},
		{"77 07 0100600505FF 01 01 621B 5200 5305DC 01", R"({"obis":"1-0:96.5.5*255","value":1500,"unit":"W","unit_code":27})",
		 "1-0:96.5.5*255#1500.0#W"},
		{"77 07 0100010800FF 01 72 6201 6500015180 621E 52FF 6303DB 01",
		 R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30,"meter_seconds":86400})",
		 "1-0:1.8.0*255#98.7#Wh"},
		{"77 07 0100010800FF 01 72 6202 656553F100 621E 52FF 6303DB 01",
		 R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30,"meter_time":"2023-11-14T22:13:20Z"})",
		 "1-0:1.8.0*255#98.7#Wh"},
		// Seven bytes are no OBIS code, though the first six are 1-0:1.8.0*255.
		{"77 08 0100010800FF07 01 01 621E 52FF 6303DB 01",
		 R"({"name_hex":"0100010800ff07","value":98.7,"unit":"Wh","unit_code":30})", "0100010800ff07#98.7#Wh"},
		// Local offsets of 23 h and 59 min, the most an ISO 8601 offset takes...
		{"77 07 0100010800FF 01 72 6203 73 656553F100 530564 53003B 621E 52FF 6303DB 01",
		 R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30,"meter_time":"2023-11-15T22:12:20+23:59"})",
		 "1-0:1.8.0*255#98.7#Wh"},
		// ... and beyond: UTC, with the meter's offsets in minutes.
		{"77 07 0100010800FF 01 72 6203 73 656553F100 5305A0 530000 621E 52FF 6303DB 01",
		 R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30,"meter_time":"2023-11-14T22:13:20Z","meter_local_offset":1440,"meter_season_offset":0})",
		 "1-0:1.8.0*255#98.7#Wh"},
		{"77 07 0100010800FF 01 72 6203 73 656553F100 538000 538000 621E 52FF 6303DB 01",
		 R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30,"meter_time":"2023-11-14T22:13:20Z","meter_local_offset":-32768,"meter_season_offset":-32768})",
		 "1-0:1.8.0*255#98.7#Wh"},
		{"77 07 0000010000FF 01 01 01 01 72 6201 72 6203 73 656553F100 538000 538000 01",
		 R"({"obis":"0-0:1.0.0*255","value":"2023-11-14T22:13:20Z","value_local_offset":-32768,"value_season_offset":-32768})",
		 "0-0:1.0.0*255#2023-11-14T22:13:20Z#"},
	};
	std::string list = "7C";
	std::vector<std::string> json;
	std::string text;
	for (const auto &c : cases) {
		list += c.wire;
		json.emplace_back(c.json);
		text += std::string(c.text) + "\n";
	}
	ASSERT_EQ(std::size(cases), 12u);
	auto frame = framed(get_list_file(list));
	auto j = run_json(frame);
	EXPECT_EQ(j.r.err, "");
	EXPECT_EQ(j.objects, json);
	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.out, summary(frame, 1, "SML message  701\n") + text);
}

// Entries the walk cannot read are named on stderr with the byte where they
// start in the file; the entries after them still print.
TEST(Obisdump, ReadsAroundAnUnreadableEntry) {
	// The list starts at byte 13, its first entry at 14, the second (whose
	// list-typed value has no tag 9) at 32, the third at 52.
	auto file = get_list_file("73"
				  "77 07 0100010800FF 01 01 621E 52FF 6303DB 01"
				  "77 07 0100020800FF 01 01 621E 52FF 72 6209 6200 01"
				  "77 07 0100100700FF 01 01 621B 5200 52FB 01");
	ASSERT_EQ(test::hex(file.data() + 32, 2), "77 07");
	ASSERT_EQ(test::hex(file.data() + 52, 2), "77 07");
	auto frame = framed(file);
	const std::string warning = "obisdump: warning: entry at byte 32 of the file has an unreadable value, skipped\n";
	// The tree gives up on the whole message, at byte 49 after the bad tag.
	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.out, "SML file (0 SML messages, 49 bytes)\nOBIS data\n"
			 "1-0:1.8.0*255#98.7#Wh\n1-0:16.7.0*255#-5.0#W\n");
	EXPECT_EQ(r.err, "zelkor: warning: could not read the whole file\n" + warning);
	EXPECT_EQ(r.status, 0);
	auto j = run_json(frame);
	EXPECT_EQ(j.objects, (std::vector<std::string>{
				     R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30})",
				     R"({"obis":"1-0:16.7.0*255","name":"Active power","value":-5,"unit":"W","unit_code":27})",
			     }));
	EXPECT_EQ(j.r.err, warning);

	// A file cut inside its second entry: the first prints, then where the
	// file stops being readable.
	auto cut = std::vector<unsigned char>(file.begin(), file.begin() + 40);
	auto broken = "obisdump: warning: the file is unreadable from byte 32 on, skipped\n";
	frame = framed(cut);
	r = test::run({obisdump, "--exact", "-"}, frame);
	EXPECT_EQ(r.out, "SML file (0 SML messages, 40 bytes)\nOBIS data\n1-0:1.8.0*255#98.7#Wh\n");
	EXPECT_EQ(r.err, "zelkor: warning: could not read the whole file\n" + std::string(broken));
	j = run_json(frame);
	EXPECT_EQ(j.objects, (std::vector<std::string>{
				     R"({"obis":"1-0:1.8.0*255","name":"Energy import total","value":98.7,"unit":"Wh","unit_code":30})",
			     }));
	EXPECT_EQ(j.r.err, broken);

	// Bytes that open no message at all.
	frame = framed(bytes("00 00 AA BB"));
	j = run_json(frame);
	EXPECT_EQ(j.r.out, "");
	EXPECT_EQ(j.r.err, "obisdump: warning: the file is unreadable from byte 2 on, skipped\n");

	// A file that begins with a start sequence of its own (escaped on the
	// wire) opens no message either.
	frame = framed(bytes("00 00 1B1B1B1B 01010101"));
	j = run_json(frame);
	EXPECT_EQ(j.r.out, "");
	EXPECT_EQ(j.r.err, "obisdump: warning: the file is unreadable from byte 2 on, skipped\n");
}

TEST(Obisdump, FrameWithoutMessages) {
	auto r = test::run({obisdump, "-"}, bytes("1B1B1B1B 01010101 1B1B1B1B 1A00 C6E5"));
	EXPECT_EQ(r.out, "SML file (0 SML messages, 0 bytes)\nOBIS data\n");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

// A vendor's message of its own tag in front of the GetList response costs
// only itself: it is named once, and every reading after it prints.
TEST(Obisdump, ReadsPastAMessageOfAnUnknownTag) {
	auto frame = framed(joined({
		bytes("76 01 01 01 72 63 FF10 73 6201 72 01 01 03 4142 63 0000 00"),
		get_list_file("71 77 07 0100010800FF 01 01 621E 52FF 6303DB 01"),
	}));
	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.out, summary(frame, 2, "SML message FF10\nSML message  701\n") + "1-0:1.8.0*255#98.7#Wh\n");
	EXPECT_EQ(r.err, "zelkor: error: message type FF10 not yet implemented\n");
	EXPECT_EQ(r.status, 0);
}

// Open response, GetList response with the reading of 1-0:1.8.0, close response.
std::vector<unsigned char> meter_frame(const char *energy) {
	return framed(joined({
		bytes("76 01 01 01 72 63 0101 76 01 01 01 01 01 01 63 0000 00"),
		get_list_file(std::string("71 77 07 0100010800FF 01 01 621E 52FF 65") + energy + "01"),
		bytes("76 01 01 01 72 63 0201 71 01 63 0000 00"),
	}));
}

TEST(Obisdump, SkipsAFrameWithAWrongCrc) {
	auto first = meter_frame("000003DB");
	auto damaged = meter_frame("000003DC");
	damaged[damaged.size() / 2] ^= 0x10;
	auto last = meter_frame("000003DD");
	auto r = test::run({obisdump, "-"}, joined({first, damaged, last}));
	EXPECT_EQ(r.out, summary(first, 3, meter_tags) + "1-0:1.8.0*255#98.7#Wh\n" + summary(last, 3, meter_tags) +
				 "1-0:1.8.0*255#98.9#Wh\n");
	EXPECT_EQ(r.err, "obisdump: warning: frame of " + std::to_string(damaged.size()) +
				 " bytes fails its CRC check, skipped\n");
	EXPECT_EQ(r.status, 0);
}

TEST(Obisdump, EndOfStandardInputInsideAFrame) {
	// The second frame is cut short by the end of input: one line says so.
	auto frame = meter_frame("000003DB");
	auto cut = std::vector<unsigned char>(frame.begin(), frame.begin() + 40);
	auto r = test::run({obisdump, "-"}, joined({frame, cut}));
	EXPECT_EQ(r.out, summary(frame, 3, meter_tags) +
				 "1-0:1.8.0*255#98.7#Wh\n");
	EXPECT_EQ(r.err, "obisdump: warning: frame of 40 bytes is cut short by the end of input, skipped\n");
	EXPECT_EQ(r.status, 0);
}

TEST(Obisdump, RecoversFromLineNoiseAndDamagedFrames) {
	auto a = meter_frame("000003DB"), b = meter_frame("000003DC"), c = meter_frame("000003DD");
	// b loses a byte in its middle: its end block falls off the grid and c's
	// start sequence cuts it short.
	auto damaged = b;
	damaged.erase(damaged.begin() + 50);
	auto r = test::run({obisdump, "-"}, joined({bytes("00 1B 1B"), a, damaged, bytes("1B"), c}));
	EXPECT_EQ(r.out, summary(a, 3, meter_tags) + "1-0:1.8.0*255#98.7#Wh\n" + summary(c, 3, meter_tags) +
				 "1-0:1.8.0*255#98.9#Wh\n");
	EXPECT_EQ(r.err, "obisdump: warning: 3 bytes outside any frame, skipped\n"
			 "obisdump: warning: frame of " + std::to_string(damaged.size() + 1) +
			 " bytes is cut short by a new start sequence, skipped\n");
	EXPECT_EQ(r.status, 0);
}

TEST(Obisdump, PrintsTheReadingsOfEscapedFrames) {
	// The reading's value 1B1B1B1B is escaped on the wire; a byte of noise
	// before the frame is reported alone.
	auto frame = framed(get_list_file("71 77 07 0100010800FF 01 01 621E 52FF 65 1B1B1B1B 01"));
	ASSERT_EQ(test::hex(frame.data() + 37, 9), "1B 1B 1B 1B 1B 1B 1B 1B 01");
	auto r = test::run({obisdump, "-"}, joined({bytes("AA"), frame}));
	EXPECT_EQ(r.out, "SML file (1 SML messages, 40 bytes)\nSML message  701\nOBIS data\n"
			 "1-0:1.8.0*255#45476124.3#Wh\n");
	EXPECT_EQ(r.err, "obisdump: warning: 1 byte outside any frame, skipped\n");
	EXPECT_EQ(r.status, 0);
}

// A capture file or a FIFO given by its path is read to its end as standard
// input is; a device whose input ends is a line lost.
TEST(Obisdump, CaptureByPathIsReadToItsEnd) {
	char dir[] = "/tmp/obisdump-capture-XXXXXX";
	ASSERT_TRUE(mkdtemp(dir));
	const std::string file = std::string(dir) + "/capture.bin", fifo = std::string(dir) + "/fifo";
	auto frame = meter_frame("000003DB");
	const std::string printed = summary(frame, 3, meter_tags) + "1-0:1.8.0*255#98.7#Wh\n";
	{
		std::FILE *f = std::fopen(file.c_str(), "wb");
		ASSERT_TRUE(f);
		EXPECT_EQ(std::fwrite(frame.data(), 1, frame.size(), f), frame.size());
		std::fclose(f);
	}
	auto r = test::run({obisdump, file});
	EXPECT_EQ(r.out, printed);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);

	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	test::process reader({obisdump, fifo});
	// Its writer opens once obisdump reads.
	int w = -1;
	for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	     w < 0 && std::chrono::steady_clock::now() < deadline;)
		if ((w = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0)
			reader.runs_for(std::chrono::milliseconds(5));
	ASSERT_GE(w, 0);
	EXPECT_EQ(write(w, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
	close(w);
	r = reader.finish();
	EXPECT_EQ(r.out, printed);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
	unlink(file.c_str());
	unlink(fifo.c_str());
	rmdir(dir);

	r = test::run({obisdump, "/dev/null"});
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, "obisdump: read(/dev/null): end of input\n");
	EXPECT_EQ(r.status, 4);
}

TEST(Obisdump, ReadsWhatTheSimulatorSends) {
	auto sim = test::run({program("meter-sim"), "-n", "2", "-i", "0"});
	ASSERT_EQ(sim.status, 0);
	ASSERT_EQ(sim.err, "");
	auto r = test::run({obisdump, "-"}, std::vector<unsigned char>(sim.out.begin(), sim.out.end()));
	const std::string head = "SML file (3 SML messages, 296 bytes)\n"
				 "SML message  101\nSML message  701\nSML message  201\nOBIS data\n"
				 "129-129:199.130.3*255#ZLK#\n"
				 "1-0:0.0.9*255#0a 01 5a 4c 4b 00 00 bc 61 4e #\n";
	EXPECT_EQ(r.out, head +
				 "1-0:1.8.0*255#1234500.0#Wh\n"
				 "1-0:2.8.0*255#432100.0#Wh\n"
				 "1-0:16.7.0*255#1500.0#W\n"
				 "1-0:32.7.0*255#229.8#V\n"
				 "0-0:96.3.10*255#true#\n" +
				 head +
				 "1-0:1.8.0*255#1234500.7#Wh\n"
				 "1-0:2.8.0*255#432100.2#Wh\n"
				 "1-0:16.7.0*255#1525.0#W\n"
				 "1-0:32.7.0*255#229.9#V\n"
				 "0-0:96.3.10*255#true#\n");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
}

TEST(MeterSim, HelpVersionAndBadValues) {
	const std::string sim = program("meter-sim");
	const std::string usage =
		"Usage: " + sim + " [-n frames] [-i seconds] [--drop=RATE] [--insert=RATE] [--flip=RATE]\n"
		"       [--seed=N] [--escapes] [device]\n"
		"       " + sim + " --help | --version\n"
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
		"-V, --version  the version\n";
	const std::string version = std::string("meter-sim ") + ZELKOR_VERSION_STRING + "\n";
	const std::vector<command_line> cases = {
		{{"--help"}, 0, usage, ""},
		{{"-h"}, 0, usage, ""},
		{{"--version"}, 0, version, ""},
		{{"-V"}, 0, version, ""},
		{{"-i", "-1"}, 1, "", "meter-sim: -i -1: not a number of seconds from 0 to 86400\n" + usage},
		{{"-i", "x"}, 1, "", "meter-sim: -i x: not a number of seconds from 0 to 86400\n" + usage},
		{{"--flip=2"}, 1, "", "meter-sim: --flip=2: not a rate from 0 to 1\n" + usage},
		{{"--drop", "-0.1"}, 1, "", "meter-sim: --drop=-0.1: not a rate from 0 to 1\n" + usage},
		{{"--seed=x"}, 1, "", "meter-sim: --seed=x: not a whole number from 0 to 18446744073709551615\n" + usage},
		{{"--seed=-1"}, 1, "", "meter-sim: --seed=-1: not a whole number from 0 to 18446744073709551615\n" + usage},
		{{"-n", "-1"}, 1, "", "meter-sim: -n -1: not a number of frames, a whole number from 0 up\n" + usage},
		{{"-n"}, 1, "", "meter-sim: -n needs a value\n" + usage},
		{{"--bogus"}, 1, "", "meter-sim: unknown option --bogus\n" + usage},
		{{"-", "-"}, 1, "", "meter-sim: a second device -: one at most\n" + usage},
	};
	expect_runs(sim, cases);

	// A pause of a fraction of a second between the same readings.
	auto readings = [&](const std::string &out) {
		return test::run({obisdump, "-"}, std::vector<unsigned char>(out.begin(), out.end())).out;
	};
	auto at_once = test::run({sim, "-n", "2", "-i", "0"});
	auto start = std::chrono::steady_clock::now();
	auto paused = test::run({sim, "-n", "2", "-i", "0.3"});
	EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
	EXPECT_EQ(paused.status, 0);
	EXPECT_EQ(paused.err, "");
	EXPECT_EQ(readings(paused.out), readings(at_once.out));
}

// The output of one file: its summary line up to the next one.
std::vector<std::string> file_blocks(const std::string &out) {
	std::vector<std::string> blocks;
	for (size_t at = 0; at < out.size();) {
		size_t next = out.find("SML file (", at + 1);
		next = next == std::string::npos ? out.size() : next;
		blocks.push_back(out.substr(at, next - at));
		at = next;
	}
	return blocks;
}

TEST(Obisdump, SimulatorWithEscapesAndANoisyLine) {
	auto clean = test::run({program("meter-sim"), "-n", "40", "-i", "0", "--escapes"});
	ASSERT_EQ(clean.status, 0);
	auto r = test::run({obisdump, "-"}, std::vector<unsigned char>(clean.out.begin(), clean.out.end()));
	EXPECT_EQ(r.err, "");
	auto good = file_blocks(r.out);
	ASSERT_EQ(good.size(), 40u);
	EXPECT_NE(good[0].find("\n1-0:1.8.1*255#45476124.3#Wh\n"
			       "129-129:199.130.5*255#1b 1b 1b 1b 1b 1b 1b 1b 1b 1b 1b 1b 1b 1b 1b 1b #\n"),
		  std::string::npos)
		<< good[0];

	// Frames the line damaged are reported, never printed wrong.
	auto noisy = test::run({program("meter-sim"), "-n", "40", "-i", "0", "--escapes", "--flip=0.001",
				"--drop=0.0005", "--insert=0.0005", "--seed=5"});
	ASSERT_EQ(noisy.status, 0);
	ASSERT_NE(noisy.out, clean.out);
	r = test::run({obisdump, "-"}, std::vector<unsigned char>(noisy.out.begin(), noisy.out.end()));
	EXPECT_EQ(r.status, 0);
	auto got = file_blocks(r.out);
	EXPECT_GE(got.size(), 10u);
	EXPECT_LT(got.size(), 40u);
	for (const auto &block : got)
		EXPECT_NE(std::find(good.begin(), good.end(), block), good.end()) << block;
	std::istringstream err(r.err);
	int lines = 0;
	for (std::string line; std::getline(err, line); lines++)
		EXPECT_EQ(line.rfind("obisdump: warning: ", 0), 0u) << line;
	EXPECT_GE(lines, 1);
}

TEST(DlmsUnits, SymbolsByCode) {
	const struct {
		unsigned char code;
		const char *symbol;
	} cases[] = {
		{1, "a"},      {6, "min."},       {8, "°"},          {13, "m³"},       {14, "m³"},
		{18, "m³/d"},  {27, "W"},         {30, "Wh"},        {38, "Ω"},        {39, "Ωm²/m"},
		{51, "S, mho"}, {53, "1/(V²h)"},  {57, "Ah"},        {60, "Wh/m³"},    {62, "Mol %"},
		{64, "Pa s"},  {253, "(reserved)"}, {254, "(other)"}, {255, "(unitless)"},
		{0, nullptr},  {58, nullptr},     {59, nullptr},     {65, nullptr},    {252, nullptr},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(static_cast<int>(c.code));
		const char *s = dlms_get_unit(c.code);
		if (c.symbol)
			EXPECT_STREQ(s, c.symbol);
		else
			EXPECT_EQ(s, nullptr);
	}
	EXPECT_EQ(std::size(dlms_units), 66u);
}

} // namespace
