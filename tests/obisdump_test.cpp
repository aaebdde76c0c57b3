// obisdump as a program: frames on stdin, readings on stdout, diagnostics on
// stderr, exit statuses.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

#include <unistd.h>

#include "frame.hpp"
#include "process.hpp"
#include "sml_test.hpp"

#include "../examples/unit.h"

namespace {

using test::bytes;
using test::framed;
using test::joined;
using test::program;

const std::string obisdump = program("obisdump");

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

TEST(Obisdump, MissingDevice) {
	auto r = test::run({obisdump, "/nonexistent/ttyUSB9"});
	EXPECT_EQ(r.status, 3);
	EXPECT_EQ(r.err, "error: open(/nonexistent/ttyUSB9): No such file or directory\n");
	EXPECT_EQ(r.out, "Error: failed to open device (/nonexistent/ttyUSB9)\n");
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
		{"77 06 0100010800 01 01 621E 52FF 6303DB 01", nullptr,
		 "Error in data stream. entry->obj_name should hold six bytes. Skipping this."},
		{"77 01 01 01 621E 52FF 6303DB 01", nullptr,
		 "Error in data stream. entry->obj_name should hold six bytes. Skipping this."},
		{"77 07 0100020800FF 01 01 621E 52FF 6303DB 01", "1-0:2.8.0*255#98.7#Wh", nullptr},
	};
	std::string list = "F1 01"; // 17 entries
	std::string out, err;
	for (const auto &e : entries) {
		list += e.wire;
		if (e.out)
			out += std::string(e.out) + "\n";
		if (e.err)
			err += std::string(e.err) + "\n";
	}
	ASSERT_EQ(std::size(entries), 17u);
	auto frame = framed(get_list_file(list));
	auto r = test::run({obisdump, "-"}, frame);
	EXPECT_EQ(r.out, summary(frame, 1, "SML message  701\n") + out);
	EXPECT_EQ(r.err, err);
	EXPECT_EQ(r.status, 0);
}

TEST(Obisdump, FrameWithoutMessages) {
	auto r = test::run({obisdump, "-"}, bytes("1B1B1B1B 01010101 1B1B1B1B 1A00 C6E5"));
	EXPECT_EQ(r.out, "SML file (0 SML messages, 0 bytes)\nOBIS data\n");
	EXPECT_EQ(r.err, "");
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

TEST(Obisdump, DeviceWhoseInputEndsExitsWith4) {
	char path[] = "/tmp/obisdump-capture-XXXXXX";
	int fd = mkstemp(path);
	ASSERT_GE(fd, 0);
	auto frame = meter_frame("000003DB");
	ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
	close(fd);
	auto r = test::run({obisdump, path});
	unlink(path);
	EXPECT_EQ(r.out, summary(frame, 3, meter_tags) +
				 "1-0:1.8.0*255#98.7#Wh\n");
	EXPECT_EQ(r.err, "obisdump: read(" + std::string(path) + "): end of input\n");
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
