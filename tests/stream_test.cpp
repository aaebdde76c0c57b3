// The stream decoder: wire bytes in, in chunks of every size; frames and
// drops out. Files written as frames, compared whole.
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_stream.h>
#include <sml/sml_transport.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>

#include "frame.hpp"
#include "sml_test.hpp"

namespace {

using test::bytes;
using test::framed;
using test::joined;

const char *reason_name(sml_stream_drop_reason r) {
	switch (r) {
	case SML_STREAM_NOISE: return "noise";
	case SML_STREAM_CUT_SHORT: return "cut-short";
	case SML_STREAM_BAD_CRC: return "bad-crc";
	case SML_STREAM_BAD_ESCAPE: return "bad-escape";
	case SML_STREAM_BAD_PADDING: return "bad-padding";
	case SML_STREAM_TOO_LONG: return "too-long";
	case SML_STREAM_UNFINISHED: return "unfinished";
	}
	return "?";
}

struct recorder {
	std::vector<std::string> events;
	std::vector<std::vector<unsigned char>> files;
	uint64_t accounted = 0;
	size_t area_len = 0;
	bool stop_each = false; // every callback asks the decoder to stop
};

int on_frame(const sml_stream_frame *f, void *ctx) {
	auto *r = static_cast<recorder *>(ctx);
	// The frame view holds the start sequence, the file and the end block.
	EXPECT_EQ(f->file, f->frame + 8);
	EXPECT_EQ(test::hex(f->frame, 8), "1B 1B 1B 1B 01 01 01 01");
	EXPECT_EQ(test::hex(f->frame + f->frame_len - 8, 5), "1B 1B 1B 1B 1A");
	EXPECT_EQ(f->frame_len, f->file_len + 16 + f->frame[f->frame_len - 3]);
	EXPECT_LE(f->wire_len, r->area_len);
	EXPECT_EQ(f->offset, r->accounted);
	r->accounted += f->wire_len;
	r->files.emplace_back(f->file, f->file + f->file_len);
	r->events.push_back("frame " + test::hex(f->file, f->file_len) + " | wire " + std::to_string(f->wire_len) +
			    " at " + std::to_string(f->offset) + " crc " + std::to_string(f->crc));
	return r->stop_each;
}

int on_drop(const sml_stream_drop *d, void *ctx) {
	auto *r = static_cast<recorder *>(ctx);
	// Every byte is in exactly one frame or drop, in stream order.
	EXPECT_EQ(d->offset, r->accounted);
	EXPECT_GT(d->count, 0u);
	r->accounted += d->count;
	r->events.push_back(std::string(reason_name(d->reason)) + " " + std::to_string(d->count) + " at " +
			    std::to_string(d->offset));
	return r->stop_each;
}

struct options {
	size_t area_len = 1024;
	sml_stream_crc_policy policy = SML_STREAM_CRC_ANY;
};

// Feeds the input cut before each of the given positions, then finishes.
recorder decode_cut(const std::vector<unsigned char> &in, const std::vector<size_t> &cuts, options o = {}) {
	recorder r;
	r.area_len = o.area_len;
	std::vector<unsigned char> area(o.area_len);
	sml_stream s;
	sml_stream_init(&s, area.data(), area.size(), on_frame, on_drop, &r);
	sml_stream_set_crc_policy(&s, o.policy);
	size_t at = 0;
	for (size_t cut : cuts) {
		sml_stream_feed(&s, in.data() + at, cut - at);
		at = cut;
	}
	sml_stream_feed(&s, in.data() + at, in.size() - at);
	sml_stream_finish(&s);
	EXPECT_EQ(r.accounted, in.size());
	return r;
}

recorder decode(const std::vector<unsigned char> &in, options o = {}) { return decode_cut(in, {}, o); }

// Every callback stops the decoder; the caller feeds on from the first byte
// not taken, as often as it takes.
recorder decode_stopping(const std::vector<unsigned char> &in, options o = {}) {
	recorder r;
	r.area_len = o.area_len;
	r.stop_each = true;
	std::vector<unsigned char> area(o.area_len);
	sml_stream s;
	sml_stream_init(&s, area.data(), area.size(), on_frame, on_drop, &r);
	sml_stream_set_crc_policy(&s, o.policy);
	size_t at = 0;
	for (size_t events = 0;;) {
		size_t k = sml_stream_feed(&s, in.data() + at, in.size() - at);
		EXPECT_LE(k, in.size() - at);
		// No event, nothing taken: every byte was taken and nothing is pending.
		if (k == 0 && r.events.size() == events) {
			EXPECT_EQ(at, in.size()) << "took nothing and reported nothing";
			break;
		}
		EXPECT_TRUE(k == in.size() - at || r.events.size() == events + 1) << "stopped without an event";
		EXPECT_LE(r.events.size(), events + 1) << "an event after the stop";
		at += k;
		events = r.events.size();
	}
	r.stop_each = false;
	EXPECT_EQ(sml_stream_finish(&s), 0);
	EXPECT_EQ(r.accounted, in.size());
	return r;
}

// The events of a whole feed, checked against every way of cutting the
// input in two, against one byte at a time, and against random chunks.
std::vector<std::string> events_however_cut(const std::vector<unsigned char> &in, options o = {}) {
	auto whole = decode(in, o).events;
	std::vector<size_t> every;
	for (size_t i = 1; i < in.size(); i++) {
		every.push_back(i);
		EXPECT_EQ(decode_cut(in, {i}, o).events, whole) << "cut at " << i;
	}
	EXPECT_EQ(decode_cut(in, every, o).events, whole) << "one byte at a time";
	std::mt19937 rng(7);
	for (int round = 0; round < 20; round++) {
		std::vector<size_t> cuts;
		for (size_t at = 0; (at += 1 + rng() % 9) < in.size();)
			cuts.push_back(at);
		EXPECT_EQ(decode_cut(in, cuts, o).events, whole) << "random chunks, round " << round;
	}
	EXPECT_EQ(decode_stopping(in, o).events, whole) << "stopped at every event";
	return whole;
}

std::string frame_event(const std::string &file, size_t wire, size_t at, sml_frame_crc crc = SML_FRAME_CRC_X25) {
	return "frame " + test::canon(file) + " | wire " + std::to_string(wire) + " at " + std::to_string(at) + " crc " +
	       std::to_string(crc);
}

std::string repeated(const char *hex, int n) {
	std::string s;
	for (int i = 0; i < n; i++)
		s += hex;
	return s;
}

std::vector<unsigned char> with_crc_hex(const char *h) { return test::with_crc(bytes(h)); }

const std::vector<unsigned char> start = bytes("1B1B1B1B 01010101");
const auto f24 = framed(bytes("01 02 03 04 05 06"));
const std::string f24_file = "01 02 03 04 05 06";

// A frame whose file holds a start sequence, escaped on the wire as
// 1B1B1B1B 1B1B1B1B 01010101 at 9, with its last CRC byte damaged.
const auto escaped_start_bad_crc = [] {
	auto f = framed(bytes("AA 1B1B1B1B 01010101 BBCC"));
	f.back() ^= 0x01;
	return f;
}();

// A frame cut after its end escape (1A, padding count and CRC lost), and a
// frame that might follow it.
const auto lost_end_block = bytes("1B1B1B1B 01010101 7605010203046200620072630201710163000000 1B1B1B1B");
const auto next_frame = bytes("1B1B1B1B 01010101 7605050607086200620072630201710163000000 1B1B1B1B 1A00 C686");
const std::string next_file = "7605050607086200620072630201710163000000";

struct decode_case {
	const char *name;
	std::vector<unsigned char> wire;
	std::vector<std::string> events;
	options o = {};
};

TEST(StreamDecoder, FramesAndDropsHoweverTheInputIsCut) {
	ASSERT_EQ(f24.size(), 24u);
	const decode_case cases[] = {
		{"one frame", f24, {frame_event(f24_file, 24, 0)}},
		{"CRC low byte first",
		 bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 857E"),
		 {frame_event(f24_file, 24, 0, SML_FRAME_CRC_X25_SWAPPED)}},
		{"KERMIT CRC in both byte orders",
		 bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 5778"
		       "1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 7857"),
		 {frame_event(f24_file, 24, 0, SML_FRAME_CRC_KERMIT),
		  frame_event(f24_file, 24, 24, SML_FRAME_CRC_KERMIT_SWAPPED)}},
		// Escapes: after every fourth 1B of a run the sender inserts four more.
		{"file of four 1B: eight on the wire, then the end escape",
		 with_crc_hex("1B1B1B1B 01010101 1B1B1B1B 1B1B1B1B 1B1B1B1B 1A00"), {frame_event("1B 1B 1B 1B", 24, 0)}},
		{"file ending in two 1B right before the end escape",
		 with_crc_hex("1B1B1B1B 01010101 AABB1B1B 1B1B1B1B 1A00"), {frame_event("AA BB 1B 1B", 20, 0)}},
		{"file ending in three 1B right before the end escape",
		 with_crc_hex("1B1B1B1B 01010101 AA1B1B1B 1B1B1B1B 1A00"), {frame_event("AA 1B 1B 1B", 20, 0)}},
		{"five 1B off the grid: nine on the wire",
		 with_crc_hex("1B1B1B1B 01010101 AA1B1B1B 1B1B1B1B 1B1BBB00 1B1B1B1B 1A01"),
		 {frame_event("AA 1B 1B 1B 1B 1B BB", 28, 0)}},
		{"an escaped start sequence in the file is data",
		 with_crc_hex("1B1B1B1B 01010101 1B1B1B1B 1B1B1B1B 01010101 1B1B1B1B 1A00"),
		 {frame_event("1B 1B 1B 1B 01 01 01 01", 28, 0)}},
		{"four 1B off the grid from a sender that does not escape",
		 with_crc_hex("1B1B1B1B 01010101 AA1B1B1B 1BBB0000 1B1B1B1B 1A02"),
		 {frame_event("AA 1B 1B 1B 1B BB", 24, 0)}},
		// Hunting and resynchronising.
		{"noise before the frame", joined({bytes("00 FF 1B 1B 01 02"), f24}),
		 {"noise 6 at 0", frame_event(f24_file, 24, 6)}},
		{"more than four 1B before the 01s", joined({bytes("1B1B1B"), f24}),
		 {"noise 3 at 0", frame_event(f24_file, 24, 3)}},
		{"1B1B1B1B 0101 then a frame", joined({bytes("1B1B1B1B 0101"), f24}),
		 {"noise 6 at 0", frame_event(f24_file, 24, 6)}},
		{"a frame cut short off the grid", joined({start, bytes("AA BB CC"), f24}),
		 {"cut-short 11 at 0", frame_event(f24_file, 24, 11)}},
		{"a frame cut short by a start after a 1B of its own", joined({start, bytes("AA 1B"), f24}),
		 {"cut-short 10 at 0", frame_event(f24_file, 24, 10)}},
		// A failed frame's drop ends with it; what follows is noise.
		{"an escape on the grid followed by 02", joined({start, bytes("1B1B1B1B 02 000000"), f24}),
		 {"bad-escape 13 at 0", "noise 3 at 13", frame_event(f24_file, 24, 16)}},
		{"an escape on the grid, 01 and no start", joined({start, bytes("1B1B1B1B 0102"), f24}),
		 {"bad-escape 14 at 0", frame_event(f24_file, 24, 14)}},
		{"an escape on the grid, 01, then the next frame's start", joined({start, bytes("1B1B1B1B 01"), f24}),
		 {"bad-escape 13 at 0", frame_event(f24_file, 24, 13)}},
		{"a wrong CRC", joined({bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 7E86"), f24}),
		 {"bad-crc 24 at 0", frame_event(f24_file, 24, 24)}},
		{"a wrong CRC ending in 1B, right before a frame",
		 joined({bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 001B"), f24}),
		 {"bad-crc 24 at 0", frame_event(f24_file, 24, 24)}},
		{"a wrong CRC in a file holding an escaped start sequence", joined({escaped_start_bad_crc, f24}),
		 {"bad-crc 32 at 0", frame_event(f24_file, 24, 32)}},
		{"padding count beyond the payload", with_crc_hex("1B1B1B1B 01010101 1B1B1B1B 1A01"),
		 {"bad-padding 16 at 0"}},
		{"padding that is not zero", with_crc_hex("1B1B1B1B 01010101 AABBCCDD 1B1B1B1B 1A01"),
		 {"bad-padding 20 at 0"}},
		{"a padding count of four zeros, as one meter sends it",
		 with_crc_hex("1B1B1B1B 01010101 AABBCCDD 00000000 1B1B1B1B 1A04"),
		 {frame_event("AA BB CC DD", 24, 0)}},
		{"a frame longer than the area", joined({framed(bytes("01020304 05060708 090A0B0C 0D0E0F10 11121314")), f24}),
		 {"too-long 36 at 0", frame_event(f24_file, 24, 36)}, {32}},
		{"the same, with an escaped start sequence in the part that fits", joined({escaped_start_bad_crc, f24}),
		 {"too-long 32 at 0", frame_event(f24_file, 24, 32)}, {24}},
		{"the same, with escaped start sequences in and past the part that fits",
		 joined({framed(bytes("AA 1B1B1B1B 01010101 BBCC 1B1B1B1B 01010101 DDEE")), f24}),
		 {"too-long 48 at 0", frame_event(f24_file, 24, 48)}, {32}},
		{"the area takes a frame that fills it", f24, {frame_event(f24_file, 24, 0)}, {24}},
		{"the end of input inside a frame", joined({f24, start, bytes("AA BB")}),
		 {frame_event(f24_file, 24, 0), "unfinished 10 at 24"}},
		{"noise at the end of input", joined({f24, bytes("AA 1B1B1B1B 0101")}),
		 {frame_event(f24_file, 24, 0), "noise 7 at 24"}},
		// A frame intact on the wire survives a damaged one swallowing its start.
		{"a start after four 1B of the frame's own, taken for data until the end",
		 joined({start, bytes("AA 1B1B1B1B"), f24}), {"unfinished 13 at 0", frame_event(f24_file, 24, 13)}},
		{"an intact frame whose start the frame before took for data",
		 joined({start, bytes("AA BB 1B1B1B1B"), f24}), {"unfinished 14 at 0", frame_event(f24_file, 24, 14)}},
		{"a longer one, replayed over itself in the area",
		 joined({start, bytes("AA BB 1B1B1B1B"), framed(std::vector<unsigned char>(24, 0x42))}),
		 {"unfinished 14 at 0", frame_event(repeated("42", 24), 40, 14)}},
		{"the same, the damaged frame then cut short by the next one",
		 joined({start, bytes("AA BB 1B1B1B1B"), f24, f24}),
		 {"cut-short 14 at 0", frame_event(f24_file, 24, 14), frame_event(f24_file, 24, 38)}},
		{"the same, the damaged frame then too long",
		 joined({start, bytes("AA BB 1B1B1B1B"), f24, bytes("00000000 00000000")}),
		 {"too-long 14 at 0", frame_event(f24_file, 24, 14), "noise 8 at 38"}, {40}},
		{"a damaged frame too long for the area, the intact one it took reaching past the area",
		 joined({lost_end_block, f24}),
		 {"too-long 32 at 0", frame_event(f24_file, 24, 32)}, {40}},
		// The frame's end escape, then the next frame: the run of eight 1B
		// reads as escaped data, and the next frame's end block, on the
		// grid, as the end of both. Its CRC tells the intact one.
		{"a frame that lost the last four bytes of its end block", joined({lost_end_block, next_frame}),
		 {"bad-crc 32 at 0", frame_event(next_file, 36, 32)}},
		{"a frame that lost the last three bytes of its end block",
		 joined({lost_end_block, bytes("1A"), next_frame}), {"bad-crc 33 at 0", frame_event(next_file, 36, 33)}},
		// Inside a frame with a wrong CRC: at 13 a start sequence the frame
		// took for data (eight 1B before it), then 1B1B1B1B 02 off that
		// frame's grid but on the grid of a frame starting at 13, and at 34
		// an intact frame behind eight 1B. The one lost frame is one drop.
		{"a frame with a wrong CRC holding an intact frame after an escaped start sequence",
		 joined({start, bytes("AA 1B1B1B1B 1B1B1B1B 01010101 21222324 1B1B1B1B 02 1B1B1B1B"), f24,
			 bytes("0000 1B1B1B1B 1A02 0000")}),
		 {"bad-crc 34 at 0", frame_event(f24_file, 24, 34), "noise 10 at 58"}},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		EXPECT_EQ(events_however_cut(c.wire, c.o), c.events);
	}
}

// A failed frame's drop comes with its last byte (for a bad escape, the byte
// that breaks it), before anything after it is fed; what follows up to the
// next frame is noise of its own.
TEST(StreamDecoder, AFailedFramesDropComesWithItsLastByte) {
	const struct {
		const char *name;
		std::vector<unsigned char> frame;
		const char *drop;
	} cases[] = {
		{"a wrong CRC", bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 7E86"), "bad-crc 24 at 0"},
		{"padding that is not zero", with_crc_hex("1B1B1B1B 01010101 AABBCCDD 1B1B1B1B 1A01"), "bad-padding 20 at 0"},
		{"an escape on the grid followed by 02", bytes("1B1B1B1B 01010101 1B1B1B1B 02"), "bad-escape 13 at 0"},
		{"an escape on the grid, 01, then 02", bytes("1B1B1B1B 01010101 1B1B1B1B 0102"), "bad-escape 14 at 0"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		const size_t n = c.frame.size();
		const std::vector<std::string> events = {c.drop, "noise 3 at " + std::to_string(n),
							 frame_event(f24_file, 24, n + 3)};
		auto in = joined({c.frame, bytes("AA BB CC"), f24});
		EXPECT_EQ(events_however_cut(in), events);
		recorder r;
		r.area_len = 64;
		unsigned char area[64];
		sml_stream s;
		sml_stream_init(&s, area, sizeof area, on_frame, on_drop, &r);
		sml_stream_feed(&s, in.data(), n);
		EXPECT_EQ(r.events, std::vector<std::string>{c.drop});
		sml_stream_feed(&s, in.data() + n, in.size() - n);
		sml_stream_finish(&s);
		EXPECT_EQ(r.events, events);
	}
}

TEST(StreamDecoder, CrcPolicies) {
	auto swapped = bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 857E");
	EXPECT_EQ(decode(swapped, {1024, SML_STREAM_CRC_X25}).events, std::vector<std::string>{"bad-crc 24 at 0"});
	EXPECT_EQ(decode(f24, {1024, SML_STREAM_CRC_X25}).events, std::vector<std::string>{frame_event(f24_file, 24, 0)});
	auto wrong = bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 0000");
	EXPECT_EQ(decode(wrong, {1024, SML_STREAM_CRC_NONE}).events,
		  std::vector<std::string>{frame_event(f24_file, 24, 0, SML_FRAME_CRC_UNCHECKED)});
}

TEST(StreamDecoder, RefusesAnUnknownCrcPolicy) {
	auto wrong = bytes("1B1B1B1B 01010101 010203040506 0000 1B1B1B1B 1A02 0000");
	recorder r;
	r.area_len = 64;
	unsigned char area[64];
	sml_stream s;
	sml_stream_init(&s, area, sizeof area, on_frame, on_drop, &r);
	EXPECT_EQ(sml_stream_set_crc_policy(&s, SML_STREAM_CRC_NONE), 0);
	EXPECT_EQ(sml_stream_set_crc_policy(&s, static_cast<sml_stream_crc_policy>(3)), -1);
	EXPECT_EQ(sml_stream_set_crc_policy(&s, static_cast<sml_stream_crc_policy>(-1)), -1);
	sml_stream_feed(&s, wrong.data(), wrong.size());
	sml_stream_finish(&s);
	EXPECT_EQ(r.events, std::vector<std::string>{frame_event(f24_file, 24, 0, SML_FRAME_CRC_UNCHECKED)});
}

// A stop in finish leaves the rest of the ended stream unreported; the next
// stream starts from position 0 all the same.
TEST(StreamDecoder, StoppedFinishStartsANewStream) {
	auto in = joined({bytes("AAAAAAAA"), start, bytes("0102")});
	recorder r;
	r.area_len = 64;
	r.stop_each = true;
	unsigned char area[64];
	sml_stream s;
	sml_stream_init(&s, area, sizeof area, on_frame, on_drop, &r);
	// The noise is certain with the start sequence's last byte.
	EXPECT_EQ(sml_stream_feed(&s, in.data(), in.size()), 12u);
	EXPECT_EQ(sml_stream_feed(&s, in.data() + 12, in.size() - 12), in.size() - 12);
	EXPECT_EQ(sml_stream_finish(&s), 1);
	EXPECT_EQ(r.events, (std::vector<std::string>{"noise 4 at 0", "unfinished 10 at 4"}));
	r.stop_each = false;
	r.accounted = 0;
	sml_stream_feed(&s, f24.data(), f24.size());
	EXPECT_EQ(sml_stream_finish(&s), 0);
	EXPECT_EQ(r.events.back(), frame_event(f24_file, 24, 0));
}

TEST(StreamDecoder, AreaTooSmallForAnyFrame) {
	// Not even the start sequence fits: every frame is too long, nothing is
	// written to the area.
	EXPECT_EQ(decode(joined({f24, bytes("AA")}), {4}).events,
		  (std::vector<std::string>{"too-long 8 at 0", "noise 17 at 8"}));
	EXPECT_EQ(decode(f24, {0}).events, (std::vector<std::string>{"too-long 8 at 0", "noise 16 at 8"}));
}

TEST(StreamDecoder, NoCallbacksAndEmptyFeeds) {
	unsigned char area[64];
	sml_stream s;
	sml_stream_init(&s, area, sizeof area, nullptr, nullptr, nullptr);
	sml_stream_feed(&s, nullptr, 0);
	sml_stream_feed(&s, f24.data(), f24.size());
	sml_stream_finish(&s);
	EXPECT_STREQ(sml_stream_drop_text(SML_STREAM_BAD_CRC), "frame CRC does not match");
}

TEST(StreamDecoder, EveryDropReasonHasItsOwnText) {
	std::set<std::string> texts;
	for (int r = SML_STREAM_NOISE; r <= SML_STREAM_UNFINISHED; r++) {
		const char *text = sml_stream_drop_text(static_cast<sml_stream_drop_reason>(r));
		ASSERT_NE(text, nullptr) << r;
		EXPECT_NE(text[0], '\0') << r;
		texts.insert(text);
	}
	EXPECT_EQ(texts.size(), 7u);
	EXPECT_STREQ(sml_stream_drop_text(static_cast<sml_stream_drop_reason>(0)), "unknown reason");
}

// A message whose transaction id holds the given bytes, group and abort flag
// absent, a close response without signature.
sml_file *file_with_id(const std::vector<unsigned char> &id) {
	sml_file *file = sml_file_init();
	sml_message *msg = sml_message_init();
	sml_octet_string_free(msg->transaction_id);
	msg->transaction_id = sml_octet_string_init(const_cast<unsigned char *>(id.data()), static_cast<int>(id.size()));
	msg->message_body = sml_message_body_init(SML_BODY_CLOSE_RESPONSE, sml_close_response_init());
	sml_file_add_message(file, msg);
	return file;
}

TEST(TransportBuild, EscapesRunsOfFour1B) {
	// Checked by hand: an escape 1B1B1B1B follows every fourth 1B of a run,
	// the padding brings the end escape onto the grid, the CRC covers the
	// wire bytes.
	const struct {
		const char *id;
		const char *frame;
	} cases[] = {
		{"1B1B1B1B",
		 "1B1B1B1B 01010101 7605 1B1B1B1B 1B1B1B1B 0101 7265 00000201 7101 6374CA 00 1B1B1B1B 1A00 E5BB"},
		{"AA 1B1B1B1B 1B",
		 "1B1B1B1B 01010101 7607 AA 1B1B1B1B 1B1B1B1B 1B 0101 7265 00000201 7101 6310CC 00 0000"
		 " 1B1B1B1B 1A02 D66E"},
		{"1B1B1B1B 1B1B1B1B",
		 "1B1B1B1B 01010101 7609 1B1B1B1B 1B1B1B1B 1B1B1B1B 1B1B1B1B 0101 7265 00000201 7101 636065 00"
		 " 1B1B1B1B 1A00 A9C2"},
		{"1B1B1B1B 01010101",
		 "1B1B1B1B 01010101 7609 1B1B1B1B 1B1B1B1B 01010101 0101 7265 00000201 7101 63A0A6 00"
		 " 1B1B1B1B 1A00 04C3"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.id);
		auto file = test::owned(file_with_id(bytes(c.id)), sml_file_free);
		size_t len = sml_transport_build(file.get());
		EXPECT_EQ(test::hex(file->buf->buffer, len), test::canon(c.frame));
		EXPECT_EQ(file->buf->cursor, len);
	}
}

// The bytes sml_file_write gives for the file.
std::vector<unsigned char> file_bytes(sml_file *file) {
	sml_buffer *own = file->buf;
	auto buf = test::owned(sml_buffer_init(0), sml_buffer_free);
	file->buf = buf.get();
	sml_file_write(file);
	file->buf = own;
	return {buf->buffer, buf->buffer + buf->cursor};
}

TEST(TransportBuild, EveryRunOf1BRoundTripsThroughTheDecoder) {
	for (size_t lead = 0; lead < 4; lead++)
		for (size_t run = 1; run <= 16; run++)
			for (const char *tail : {"", "01010101", "1A", "00"}) {
				SCOPED_TRACE(std::to_string(lead) + " bytes, " + std::to_string(run) + " 1B, then " + tail);
				std::vector<unsigned char> id(lead, 0xAA);
				id.insert(id.end(), run, 0x1B);
				auto t = bytes(tail);
				id.insert(id.end(), t.begin(), t.end());
				auto file = test::owned(file_with_id(id), sml_file_free);
				auto expected = file_bytes(file.get());
				size_t len = sml_transport_build(file.get());
				std::vector<unsigned char> wire(file->buf->buffer, file->buf->buffer + len);
				EXPECT_EQ(wire, framed(expected));
				auto r = decode(joined({wire, wire}), {1024, SML_STREAM_CRC_X25});
				ASSERT_EQ(r.files.size(), 2u) << ::testing::PrintToString(r.events);
				EXPECT_EQ(r.files[0], expected);
				EXPECT_EQ(r.files[1], expected);
			}
}

// Frames and drops counted, every byte accounted for.
struct tally {
	size_t frames = 0;
	std::vector<sml_stream_drop> drops;
	uint64_t accounted = 0;
};

tally count(const std::vector<unsigned char> &in) {
	std::vector<unsigned char> area(1024);
	tally t;
	sml_stream s;
	sml_stream_init(
		&s, area.data(), area.size(),
		[](const sml_stream_frame *f, void *ctx) {
			auto *t = static_cast<tally *>(ctx);
			t->frames++;
			t->accounted += f->wire_len;
			return 0;
		},
		[](const sml_stream_drop *d, void *ctx) {
			auto *t = static_cast<tally *>(ctx);
			t->drops.push_back(*d);
			t->accounted += d->count;
			return 0;
		},
		&t);
	sml_stream_feed(&s, in.data(), in.size());
	sml_stream_finish(&s);
	EXPECT_EQ(t.accounted, in.size());
	return t;
}

// Real meter streams with one byte removed, inserted or flipped: only the
// frame the fault lands in is lost, and it is reported.
TEST(StreamDecoder, OneFaultCostsOneFrameOfARealStream) {
	SKIP_WITHOUT_CORPUS();
	const auto clean = test::read_file(test::corpus_dir() + "/streams/dnt-stream-1.dump");
	ASSERT_EQ(count(clean).frames, 878u);
	std::mt19937 rng(2026);
	for (int round = 0; round < 200; round++)
		for (auto kind : {test::fault::removed, test::fault::inserted, test::fault::flipped}) {
			auto in = clean;
			SCOPED_TRACE(test::with_fault(in, kind, rng));
			tally t = count(in);
			size_t lost = 878 - t.frames;
			EXPECT_LE(lost, 1u);
			// A lost frame is one drop; so is a byte inserted between frames.
			// A fault in the end block fails the frame before its end: the
			// few bytes of it left are noise of their own.
			auto &d = t.drops;
			if (lost && d.size() == 2) {
				EXPECT_NE(d[0].reason, SML_STREAM_NOISE);
				EXPECT_EQ(d[1].reason, SML_STREAM_NOISE);
				EXPECT_LE(d[1].count, 4u);
			} else {
				EXPECT_EQ(d.size(), lost ? 1u : kind == test::fault::inserted ? 1u : 0u);
			}
		}
}

} // namespace
