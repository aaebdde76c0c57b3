// The C++ layer: readings as a range, OBIS codes, exact decimals, unit
// symbols and owners of tree records.
#include <zelkor/zelkor.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <ranges>
#include <stdexcept>
#include <vector>

#include "frame.hpp"
#include "readings.hpp"
#include "sml_test.hpp"

namespace {

static_assert(std::ranges::input_range<zelkor::reading_range>);
static_assert(std::input_iterator<zelkor::reading_range::iterator>);

// A GetList response of four entries: energy 1234500 at -1 in Wh, power -5
// in W, a meter id as text, and one without a name of six bytes.
const std::string file_hex =
	"76 01 62 00 62 00 72 63 07 01 77 01 03 01 02 01 01 74"
	" 77 07 01 00 01 08 00 FF 01 01 62 1E 52 FF 65 00 12 D6 44 01"
	" 77 07 01 00 10 07 00 FF 01 01 62 1B 52 00 52 FB 01"
	" 77 07 01 00 00 00 09 FF 01 01 01 01 04 45 4D 48 01"
	" 77 03 AA BB 01 01 01 01 42 01 01"
	" 01 01 01 00";

TEST(ZelkorHpp, ReadingsAsARange) {
	auto bytes = test::bytes(file_hex);
	std::vector<std::string> lines;
	for (const zelkor::reading &r : zelkor::readings(bytes)) {
		ASSERT_TRUE(r.readable());
		std::string line = r.obis() ? r.obis()->to_string() : "-";
		if (auto n = r.number())
			line += " " + n->to_string() + " " + std::string(r.unit_symbol().value_or("?"));
		else if (auto b = r.boolean())
			line += *b ? " true" : " false";
		else
			line += " " + test::hex(r.bytes().data(), r.bytes().size());
		lines.push_back(line);
	}
	EXPECT_EQ(lines, (std::vector<std::string>{"1-0:1.8.0*255 123450.0 Wh", "1-0:16.7.0*255 -5 W",
						   "1-0:0.0.9*255 45 4D 48", "- true"}));

	// The same walk as sml_readings, over std::byte too, with the ranges library.
	std::vector<std::byte> as_bytes(bytes.size());
	std::transform(bytes.begin(), bytes.end(), as_bytes.begin(), [](unsigned char b) { return std::byte{b}; });
	auto range = zelkor::readings(std::span<const std::byte>(as_bytes));
	EXPECT_EQ(std::ranges::count_if(range, [](const zelkor::reading &r) { return r.number().has_value(); }), 2);
	std::vector<std::string> walked;
	for (const auto &r : range)
		walked.push_back(test::full_text(r));
	// Views point into the bytes given.
	EXPECT_EQ(range.begin()->server().data(), reinterpret_cast<const unsigned char *>(as_bytes.data()) + 13);
	EXPECT_EQ(walked, test::texts(test::walk(bytes), true));
	EXPECT_TRUE(range.walkable());

	const unsigned char frame_start[] = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
	auto not_sml = zelkor::readings(frame_start);
	EXPECT_FALSE(not_sml.walkable());
	EXPECT_EQ(not_sml.begin(), not_sml.end());
	EXPECT_TRUE(zelkor::readings(std::span<const unsigned char>{}).walkable());

	// Why a range is empty.
	EXPECT_EQ(not_sml.error(), SML_READINGS_TRANSPORT_FRAME);
	const unsigned char list_of_two[] = {0x72, 0x01, 0x01};
	EXPECT_EQ(zelkor::readings(list_of_two).error(), SML_READINGS_NO_MESSAGE);
	EXPECT_EQ(zelkor::readings(std::span<const unsigned char>{}).error(), 0);
	EXPECT_EQ(range.error(), 0);
}

// The range works with the standard algorithms and containers, the
// iterator with algorithms of C++17 as well.
static_assert(std::ranges::borrowed_range<zelkor::reading_range>);
static_assert(std::ranges::common_range<zelkor::reading_range>);
static_assert(std::is_same_v<std::iterator_traits<zelkor::reading_range::iterator>::iterator_category,
			     std::input_iterator_tag>);
static_assert(std::is_convertible_v<decltype(*std::declval<zelkor::reading_range::iterator &>()++), zelkor::reading>);

TEST(ZelkorHpp, ReadingsWithAlgorithmsAndContainers) {
	auto bytes = test::bytes(file_hex);
	auto is_power = [](const zelkor::reading &r) { return r.unit_code() == 27; };
	auto found = std::ranges::find_if(zelkor::readings(bytes), is_power);
	static_assert(std::is_same_v<decltype(found), zelkor::reading_range::iterator>);
	ASSERT_NE(found, zelkor::reading_range::iterator());
	EXPECT_EQ(found->number(), zelkor::decimal(-5));
	EXPECT_EQ(std::ranges::find_if(zelkor::readings(bytes), [](const zelkor::reading &r) { return r.scale() == 9; }),
		  zelkor::reading_range::iterator());

	auto range = zelkor::readings(bytes);
	std::vector<zelkor::reading> all(range.begin(), range.end());
	std::vector<std::string> texts;
	for (const auto &r : all)
		texts.push_back(test::full_text(r));
	EXPECT_EQ(texts, test::texts(test::walk(bytes), true));
	EXPECT_EQ(std::count_if(range.begin(), range.end(), is_power), 1);

	// *it++ is the reading it stood at; the iterator has moved on.
	auto it = range.begin();
	auto copy = it;
	EXPECT_EQ(copy, it);
	zelkor::reading first = *it++;
	EXPECT_EQ(first.obis(), zelkor::obis_code(1, 0, 1, 8, 0, 255));
	EXPECT_EQ(it->obis(), zelkor::obis_code(1, 0, 16, 7, 0, 255));
	EXPECT_NE(copy, it);
	EXPECT_EQ(++copy, it);
}

TEST(ZelkorHpp, ReadingFieldsAsCxxTypes) {
	auto bytes = test::bytes(file_hex);
	auto it = zelkor::readings(bytes).begin();
	const zelkor::reading &r = *it;
	EXPECT_EQ(r.reason_text(), "readable");
	EXPECT_EQ(r.scale(), -1);
	EXPECT_EQ(r.unit_code(), 30);
	EXPECT_EQ(r.status_word(), std::nullopt);
	EXPECT_EQ(test::hex(r.name_bytes().data(), r.name_bytes().size()), "01 00 01 08 00 FF");
	EXPECT_EQ(test::hex(r.server().data(), r.server().size()), "01 02");
	EXPECT_TRUE(r.value_signature().empty());
	EXPECT_EQ(r.time(), std::nullopt);
	EXPECT_EQ(r.boolean(), std::nullopt);
	EXPECT_EQ(r.number(), zelkor::decimal(1234500, -1));
	EXPECT_EQ(r.sml_reading::obis[2], 1);
}

TEST(ZelkorHpp, ForEachReadingStopsAndCarriesExceptions) {
	auto bytes = test::bytes(file_hex);
	int seen = 0;
	EXPECT_EQ(zelkor::for_each_reading(bytes, [&](const zelkor::reading &) { seen++; }), 4);
	EXPECT_EQ(seen, 4);
	seen = 0;
	EXPECT_EQ(zelkor::for_each_reading(bytes, [&](const zelkor::reading &r) { return ++seen == 2 && r.readable(); }), 2);
	seen = 0;
	EXPECT_THROW(zelkor::for_each_reading(bytes,
					      [&](const zelkor::reading &) {
						      if (++seen == 3)
							      throw std::runtime_error("enough");
					      }),
		     std::runtime_error);
	EXPECT_EQ(seen, 3);
}

// A capture: noise, a frame of file_hex, a frame whose CRC fails, another
// frame of file_hex.
std::vector<unsigned char> noisy_capture() {
	auto damaged = test::framed(test::bytes(file_hex));
	damaged[30] ^= 0x01;
	return test::joined({test::bytes("AA BB"), test::framed(test::bytes(file_hex)), damaged,
			     test::framed(test::bytes(file_hex))});
}

static_assert(!std::is_copy_constructible_v<zelkor::decoder<void (*)(const zelkor::stream_frame &)>>);
static_assert(!std::is_move_constructible_v<zelkor::decoder<void (*)(const zelkor::stream_frame &)>>);

// The decoder calls lambdas for frames and drops, in any chunks; a lambda
// returning true stops the feed, which goes on where it stopped.
TEST(ZelkorHpp, DecoderWithLambdas) {
	auto capture = noisy_capture();
	std::vector<std::string> events;
	std::array<unsigned char, 256> area;
	bool stop = true;
	zelkor::decoder d(
		area,
		[&](const zelkor::stream_frame &f) {
			events.push_back("frame @" + std::to_string(f.offset) + " of " + std::to_string(f.file_bytes().size()));
			for (const zelkor::reading &r : f.readings())
				if (auto n = r.number())
					events.push_back(n->to_string());
			EXPECT_EQ(f.frame_bytes().size(), f.frame_len);
			return stop;
		},
		[&](const zelkor::stream_drop &drop) { events.push_back(std::string(drop.reason_text())); });
	EXPECT_FALSE(d.set_crc_policy(static_cast<sml_stream_crc_policy>(3)));
	EXPECT_TRUE(d.set_crc_policy(SML_STREAM_CRC_X25));

	// The first frame stops the feed at its last byte; the rest goes on.
	size_t first_end = 2 + test::framed(test::bytes(file_hex)).size();
	EXPECT_EQ(d.feed(std::span(capture).first(first_end + 5)), first_end);
	stop = false;
	for (size_t at = first_end; at < capture.size(); at += 3)
		EXPECT_EQ(d.feed(std::span(capture).subspan(at, std::min<size_t>(3, capture.size() - at))),
			  std::min<size_t>(3, capture.size() - at));
	EXPECT_FALSE(d.finish());
	std::string file_size = std::to_string(test::bytes(file_hex).size());
	std::string third_frame_at = std::to_string(2 + 2 * (first_end - 2));
	EXPECT_EQ(events, (std::vector<std::string>{"noise between frames", "frame @2 of " + file_size, "123450.0", "-5",
						    "frame CRC does not match", "frame @" + third_frame_at + " of " + file_size,
						    "123450.0", "-5"}));
}

// An exception a lambda throws stops the decoder and comes out of feed; the
// decoder goes on with the next feed.
TEST(ZelkorHpp, DecoderCarriesExceptions) {
	auto capture = test::joined({test::framed(test::bytes(file_hex)), test::framed(test::bytes(file_hex))});
	std::array<unsigned char, 256> area;
	int frames = 0;
	zelkor::decoder d(area, [&](const sml_stream_frame &) {
		if (++frames == 1)
			throw std::runtime_error("first");
	});
	EXPECT_THROW(d.feed(capture), std::runtime_error);
	EXPECT_EQ(frames, 1);
	EXPECT_EQ(d.taken(), capture.size() / 2);
	size_t rest = capture.size() - d.taken();
	EXPECT_EQ(d.feed(std::span(capture).subspan(d.taken())), rest);
	EXPECT_EQ(frames, 2);
}

// A capture to readings in one call, with the frame of each, and drops.
TEST(ZelkorHpp, CaptureReadingsInOneCall) {
	auto capture = noisy_capture();
	std::vector<unsigned char> area(capture.size());
	std::vector<std::string> seen;
	int n = zelkor::for_each_capture_reading(
		capture, area,
		[&](const zelkor::reading &r, const zelkor::stream_frame &f) {
			seen.push_back("@" + std::to_string(f.offset) + " " + test::text(r));
		},
		[&](const zelkor::stream_drop &d) { seen.push_back(std::string(d.reason_text())); });
	EXPECT_EQ(n, 8);
	size_t frame = test::framed(test::bytes(file_hex)).size();
	std::vector<std::string> expected{"noise between frames"};
	for (const auto &t : test::texts(test::walk(test::bytes(file_hex))))
		expected.push_back("@2 " + t);
	expected.push_back("frame CRC does not match");
	for (const auto &t : test::texts(test::walk(test::bytes(file_hex))))
		expected.push_back("@" + std::to_string(2 + 2 * frame) + " " + t);
	EXPECT_EQ(seen, expected);

	// Over std::byte, a reading alone, true to stop.
	std::vector<std::byte> as_bytes(capture.size());
	std::transform(capture.begin(), capture.end(), as_bytes.begin(), [](unsigned char b) { return std::byte{b}; });
	int seen_until_stop = 0;
	EXPECT_EQ(zelkor::for_each_capture_reading(std::span<const std::byte>(as_bytes), area,
						   [&](const zelkor::reading &) { return ++seen_until_stop == 3; }),
		  3);
	EXPECT_EQ(seen_until_stop, 3);
	EXPECT_EQ(zelkor::for_each_capture_reading(std::span(capture).first(2), area, [](const zelkor::reading &) {}),
		  SML_CAPTURE_NO_FRAME);

	EXPECT_THROW(zelkor::for_each_capture_reading(
			     capture, area, [](const zelkor::reading &) {},
			     [](const zelkor::stream_drop &) -> bool { throw std::runtime_error("drop"); }),
		     std::runtime_error);
}

TEST(ZelkorHpp, ObisCodes) {
	const struct {
		const char *text;
		const char *canonical; // NULL: not an OBIS code
	} cases[] = {
		{"1-0:1.8.0*255", "1-0:1.8.0*255"},
		{"1-0:1.8.0", "1-0:1.8.0*255"},
		{"129-129:199.130.3*255", "129-129:199.130.3*255"},
		{"0-0:0.0.0*0", "0-0:0.0.0*0"},
		{"01-00:001.8.0*255", "1-0:1.8.0*255"},
		{"1-0:1.8.0*256", nullptr},
		{"1-0:1.8*255", nullptr},
		{"1-0:1.8.0*", nullptr},
		{"1-0:1.8.0*255 ", nullptr},
		{"1:0-1.8.0*255", nullptr},
		{"1-0:1.8.00000*255", nullptr},
		{"", nullptr},
		{"a-0:1.8.0*255", nullptr},
	};
	for (const auto &c : cases) {
		auto code = zelkor::obis_code::parse(c.text);
		if (!c.canonical) {
			EXPECT_EQ(code, std::nullopt) << c.text;
			continue;
		}
		ASSERT_TRUE(code) << c.text;
		EXPECT_EQ(code->to_string(), c.canonical);
	}
	constexpr auto energy = zelkor::obis_code::parse("1-0:1.8.0*255");
	static_assert(energy && *energy == zelkor::obis_code(1, 0, 1, 8, 0, 255));
	EXPECT_LT(zelkor::obis_code(1, 0, 1, 8, 0, 255), zelkor::obis_code(1, 0, 2, 8, 0, 255));
	EXPECT_EQ(zelkor::obis_code(255, 255, 255, 255, 255, 255).to_string(), "255-255:255.255.255*255");
}

// A decimal is made explicitly, from integers that convert without loss;
// bool, characters and wider integers are no numbers to it.
static_assert(std::is_constructible_v<zelkor::decimal, int, int>);
static_assert(std::is_constructible_v<zelkor::decimal, int64_t>);
static_assert(std::is_constructible_v<zelkor::decimal, uint64_t>);
static_assert(std::is_constructible_v<zelkor::decimal, long long>);
static_assert(std::is_constructible_v<zelkor::decimal, unsigned char>);
static_assert(std::is_constructible_v<zelkor::decimal, signed char, int>);
static_assert(!std::is_convertible_v<int, zelkor::decimal>);
static_assert(!std::is_convertible_v<uint64_t, zelkor::decimal>);
static_assert(!std::is_constructible_v<zelkor::decimal, bool>);
static_assert(!std::is_constructible_v<zelkor::decimal, char>);
static_assert(!std::is_constructible_v<zelkor::decimal, wchar_t>);
static_assert(!std::is_constructible_v<zelkor::decimal, char8_t>);
static_assert(!std::is_constructible_v<zelkor::decimal, char16_t>);
static_assert(!std::is_constructible_v<zelkor::decimal, char32_t>);
static_assert(!std::is_constructible_v<zelkor::decimal, __int128>);
static_assert(!std::is_constructible_v<zelkor::decimal, unsigned __int128>);
static_assert(!std::is_constructible_v<zelkor::decimal, double>);

TEST(ZelkorHpp, DecimalsPrintExactly) {
	using zelkor::decimal;
	const struct {
		zelkor::decimal d;
		const char *text;
	} cases[] = {
		{decimal(987, -3), "0.987"},
		{decimal(1234500, -1), "123450.0"},
		{decimal(987, -1), "98.7"},
		{decimal(987, 0), "987"},
		{decimal(5, 2), "500"},
		{decimal(5, -4), "0.0005"},
		{decimal(-5, 0), "-5"},
		{decimal(-1, -3), "-0.001"},
		{decimal(0, -2), "0.00"},
		{decimal(0, 3), "0"},
		{decimal(INT64_MIN, 0), "-9223372036854775808"},
		{decimal(INT64_MIN, -19), "-0.9223372036854775808"},
		{decimal(INT64_MAX, -18), "9.223372036854775807"},
		{decimal(UINT64_MAX, 0), "18446744073709551615"},
		{decimal(UINT64_MAX, -20), "0.18446744073709551615"},
		{decimal(uint64_t{10}, -1), "1.0"},
		{decimal(int8_t{-128}, 1), "-1280"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(c.d.to_string(), c.text) << c.text;

	// The extremes of scaler and number fit max_chars.
	std::string longest = zelkor::decimal(INT64_MIN, -128).to_string();
	EXPECT_EQ(longest.size(), 1 + 2 + 128u);
	EXPECT_EQ(longest.substr(0, 112), "-0." + std::string(109, '0'));
	EXPECT_EQ(longest.substr(112), "9223372036854775808");
	std::string widest = zelkor::decimal(UINT64_MAX, 127).to_string();
	EXPECT_EQ(widest, "18446744073709551615" + std::string(127, '0'));
	EXPECT_LE(widest.size(), zelkor::decimal::max_chars);

	char small[4];
	auto r = zelkor::decimal(12345, 0).to_chars(small, small + sizeof small);
	EXPECT_EQ(r.ec, std::errc::value_too_large);
	r = zelkor::decimal(-987, -3).to_chars(small, small + sizeof small);
	EXPECT_EQ(r.ec, std::errc::value_too_large);

	EXPECT_EQ(zelkor::decimal(1, 0), zelkor::decimal(10, -1));
	EXPECT_EQ(zelkor::decimal(0, -3), zelkor::decimal(0, 5));
	EXPECT_NE(zelkor::decimal(1, 0), zelkor::decimal(-1, 0));
	EXPECT_NE(zelkor::decimal(1, 0), zelkor::decimal(1, 1));
	EXPECT_DOUBLE_EQ(zelkor::decimal(-987, -3).to_double(), -0.987);
}

// Any int is a scaler: the text is as long as the number, a buffer too
// short is reported, and equality holds to the last scaler.
TEST(ZelkorHpp, DecimalsOfEveryScaler) {
	using zelkor::decimal;
	EXPECT_EQ(decimal(1, 200).to_string(), "1" + std::string(200, '0'));
	EXPECT_EQ(decimal(-7, -300).to_string(), "-0." + std::string(299, '0') + "7");
	EXPECT_EQ(decimal(INT64_MIN, -1000).to_string(), "-0." + std::string(981, '0') + "9223372036854775808");
	EXPECT_EQ(decimal(0, INT_MAX).to_string(), "0");

	const struct {
		decimal d;
		size_t size;
	} cases[] = {
		{decimal(1, 200), 201},
		{decimal(-7, -300), 303},
		{decimal(1, INT_MAX), 1 + size_t{INT_MAX}},
		{decimal(UINT64_MAX, INT_MAX), 20 + size_t{INT_MAX}},
		{decimal(-1, INT_MIN), 3 + size_t{INT_MAX} + 1},
		{decimal(0, INT_MIN), 2 + size_t{INT_MAX} + 1},
		{decimal(0, INT_MAX), 1},
	};
	for (const auto &c : cases) {
		EXPECT_EQ(c.d.text_size(), c.size) << c.d.scaler();
		char text[zelkor::decimal::max_chars];
		auto r = c.d.to_chars(text, text + sizeof text);
		EXPECT_EQ(r.ec, c.size <= sizeof text ? std::errc{} : std::errc::value_too_large) << c.d.scaler();
		if (r.ec == std::errc{}) {
			EXPECT_EQ(std::string(text, r.ptr), c.d.to_string());
		}
	}

	static_assert(decimal(10, INT_MAX) != decimal(1, INT_MIN));
	static_assert(decimal(10, INT_MAX - 1) == decimal(1, INT_MAX));
	static_assert(decimal(UINT64_MAX - 5, INT_MAX) == decimal(UINT64_MAX - 5, INT_MAX));
	static_assert(decimal(10'000'000'000'000'000'000u, INT_MAX) != decimal(1, INT_MAX));
	static_assert(decimal(0, INT_MAX) == decimal(0, INT_MIN));
	EXPECT_NE(decimal(10, INT_MAX), decimal(1, INT_MIN));
}

// What strtod makes of the exact text, correctly rounded by the C library.
double by_strtod(const zelkor::decimal &d) {
	std::string text = (d.negative() ? "-" : "") + std::to_string(d.magnitude()) + "e" + std::to_string(d.scaler());
	return std::strtod(text.c_str(), nullptr);
}

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

// to_double is the nearest double, bit for bit, rounded once: not the
// product of a rounding at every power of ten.
TEST(ZelkorHpp, DecimalToDoubleIsTheNearest) {
	using zelkor::decimal;
	const double inf = std::numeric_limits<double>::infinity();
	const struct {
		decimal d;
		double nearest;
	} cases[] = {
		{decimal(1, -128), 1e-128},
		{decimal(-987, -3), -0.987},
		{decimal(123456789, -5), 1234.56789},
		{decimal(UINT64_MAX, -20), 0.18446744073709551615},
		{decimal(INT64_MIN, -19), -0.9223372036854775808},
		{decimal(9007199254740993, 0), 9007199254740992.0},
		{decimal(1, 127), 1e127},
		{decimal(UINT64_MAX, 127), 18446744073709551615e127},
		{decimal(17976931348623157, 292), 1.7976931348623157e308},
		{decimal(5, -324), 5e-324},
		{decimal(3, -324), 5e-324},
		{decimal(2, -324), 0.0},
		{decimal(1, 400), inf},
		{decimal(-1, INT_MAX), -inf},
		{decimal(1, -400), 0.0},
		{decimal(-1, INT_MIN), -0.0},
		{decimal(0, INT_MAX), 0.0},
		{decimal(0, INT_MIN), 0.0},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE((c.d.negative() ? "-" : "") + std::to_string(c.d.magnitude()) + "e" + std::to_string(c.d.scaler()));
		EXPECT_EQ(bits(c.d.to_double()), bits(c.nearest)) << c.d.to_double();
		EXPECT_EQ(bits(c.d.to_double()), bits(by_strtod(c.d)));
	}

	// Numbers of every width at scalers around and beyond double's range.
	std::mt19937_64 rng(20260115);
	for (int i = 0; i < 20000; i++) {
		uint64_t magnitude = rng() >> (rng() % 64);
		int scaler = static_cast<int>(rng() % 701) - 360;
		decimal d = rng() % 2 ? decimal(magnitude, scaler) : decimal(-static_cast<int64_t>(magnitude >> 1), scaler);
		ASSERT_EQ(bits(d.to_double()), bits(by_strtod(d))) << d.magnitude() << "e" << scaler;
	}
}

TEST(ZelkorHpp, UnitSymbols) {
	EXPECT_EQ(zelkor::unit_symbol(30), "Wh");
	EXPECT_EQ(zelkor::unit_symbol(9), "°C");
	EXPECT_EQ(zelkor::unit_symbol(0), std::nullopt);
	EXPECT_EQ(zelkor::unit_symbol(58), std::nullopt);
}

// Records of the tree API released by their owners; the sanitizer builds and
// valgrind find what would leak.
TEST(ZelkorHpp, OwnersReleaseTreeRecords) {
	auto bytes = test::bytes(file_hex);
	zelkor::file_ptr file = zelkor::parse_file(bytes);
	ASSERT_EQ(file->messages_len, 1);
	auto *response = static_cast<sml_get_list_response *>(file->messages[0]->message_body->data);
	ASSERT_NE(response->val_list, nullptr);

	auto buf = test::parse_buf("72 62 01 72 62 03 73 65 00 00 0E 10 53 00 3C 53 00 00");
	zelkor::owned<sml_value> value = zelkor::own(sml_value_parse(buf.get()));
	ASSERT_NE(value, nullptr);
	EXPECT_EQ(value->type, SML_VALUE_LIST);

	// Built by hand, handed to a parent: the parent owns it from then on.
	zelkor::owned<sml_list> entry{sml_list_init()};
	entry->obj_name = test::octets("01 00 01 08 00 FF");
	zelkor::owned<sml_get_list_response> built{sml_get_list_response_init()};
	built->val_list = entry.release();
	zelkor::owned<sml_time> t{sml_time_init()};
	zelkor::owned<octet_string> s{sml_octet_string_init(nullptr, 0)};
	zelkor::owned<sml_message> m{sml_message_init()};
	zelkor::owned<sml_buffer> b{sml_buffer_init(8)};
	zelkor::owned<sml_get_profile_list_request> request{sml_get_profile_pack_request_init()};
	zelkor::owned<sml_file> empty{nullptr};
	EXPECT_EQ(empty, nullptr);
}

} // namespace
