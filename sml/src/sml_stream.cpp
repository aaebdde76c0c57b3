// The stream decoder. A frame is kept in the area as it stands on the wire
// until it is complete and checked; only then are its escapes taken out. A
// frame that fails leaves its wire bytes in the area: a frame it swallowed
// (one whose start sequence it took for escaped data) is looked for among
// them and fed through the decoder again.
#include <sml/sml_stream.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "crc.hpp"
#include "stream.hpp"

namespace {

constexpr unsigned char escape_byte = 0x1B;
constexpr unsigned char start_byte = 0x01;
constexpr unsigned char end_byte = 0x1A;
constexpr unsigned char start_seq[] = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
constexpr size_t start_len = sizeof start_seq;
constexpr size_t end_block_len = 8; // 1B1B1B1B 1A pp crc crc

// The CRC checked as SML_STREAM_CRC_ANY does, but a frame none of the
// variants matches is still handed out (crc UNCHECKED) unless a frame inside
// it has a matching one: the transport calls never checked the CRC.
constexpr int lenient_crc = 0x100;

// A pending drop that goes on up to the next start sequence.
constexpr uint64_t open_end = std::numeric_limits<uint64_t>::max();

enum mode : int {
	hunting,     // looking for a start sequence
	in_frame,    // collecting wire bytes
	start_check, // an escape followed by 01: a new start sequence, or data
	end_block,   // an escape followed by 1A on the grid: pp and the CRC to come
};

// Escaping turns a run of w data 1B into w + 4 * (w / 4) wire bytes: 8m + r
// with r below 4. A wire run of 8m + 4..7 therefore ends in an escape.
constexpr bool ends_in_escape(size_t run) { return run % 8 >= 4; }

// The hunt counts a run of 1B up to 3, then from 4 to 11 and round again:
// enough to tell four or more, and whether they end in an escape.
constexpr unsigned max_hunt_run = 11;

constexpr size_t unescaped_run(size_t run) { return ends_in_escape(run) ? run : run / 8 * 4 + run % 8; }

// Takes the inserted escapes out of a checked payload, in place; returns its
// new length. Runs that cannot be escaped output stay as they were sent.
size_t unescape(unsigned char *p, size_t n) {
	size_t out = 0;
	for (size_t i = 0; i < n;) {
		if (p[i] != escape_byte) {
			p[out++] = p[i++];
			continue;
		}
		size_t j = i;
		while (j < n && p[j] == escape_byte)
			j++;
		size_t keep = unescaped_run(j - i);
		std::memset(p + out, escape_byte, keep);
		out += keep;
		i = j;
	}
	return out;
}

// Where a start sequence the hunt would still be matching begins at the end
// of the frame in a[0, n) (1B... or 1B1B1B1B 01...); n if there is none.
size_t partial_start(const unsigned char *a, size_t n) {
	size_t ones = 0;
	while (ones < 3 && n - ones > start_len && a[n - 1 - ones] == start_byte)
		ones++;
	size_t run = 0;
	while (n - ones - run > start_len && a[n - 1 - ones - run] == escape_byte)
		run++;
	if (run == 0 || (ones > 0 && run < 4))
		return n;
	return n - ones - run;
}

// The 1B an end block of the frame in a[0, n) ends in, three at most: when
// the frame had lost the end of its own, they may be the start of the next.
size_t trailing_escapes(const unsigned char *a, size_t n) {
	size_t t = 0;
	while (t < 3 && a[n - 1 - t] == escape_byte)
		t++;
	return t;
}

constexpr int no_match = -1;

int crc_variant(int policy, std::span<const unsigned char> covered, uint16_t received) {
	if (policy == SML_STREAM_CRC_NONE)
		return SML_FRAME_CRC_UNCHECKED;
	uint16_t x25 = zelkor::detail::byte_swapped(zelkor::detail::crc_x25(covered));
	if (received == x25)
		return SML_FRAME_CRC_X25;
	if (policy == SML_STREAM_CRC_X25)
		return no_match;
	if (received == zelkor::detail::byte_swapped(x25))
		return SML_FRAME_CRC_X25_SWAPPED;
	uint16_t kermit = zelkor::detail::crc_kermit(covered);
	if (received == kermit)
		return SML_FRAME_CRC_KERMIT;
	if (received == zelkor::detail::byte_swapped(kermit))
		return SML_FRAME_CRC_KERMIT_SWAPPED;
	return no_match;
}

// The CRC of the frame in a whose end escape is at esc.
int frame_crc(int policy, const unsigned char *a, size_t esc) {
	auto received = static_cast<uint16_t>((a[esc + 6] << 8) | a[esc + 7]);
	return crc_variant(policy, {a, esc + 6}, received);
}

bool padding_ok(const unsigned char *a, size_t esc) {
	size_t pad = a[esc + 5];
	return pad <= esc - start_len && std::all_of(a + esc - pad, a + esc, [](unsigned char c) { return c == 0; });
}

enum class shape { broken, open, intact };

// What the bytes a[0, n) make of the frame whose start sequence they begin
// with, read as the decoder collects a frame: intact (its end block, CRC
// and padding within them), broken (a bad escape, a start sequence that
// cuts it short, a wrong CRC or padding) or still open.
[[gnu::cold]] shape probe(const unsigned char *a, size_t n, int policy) {
	size_t run = 0;
	for (size_t i = start_len; i < n; i++) {
		if (run == 0) {
			auto *q = static_cast<const unsigned char *>(std::memchr(a + i, escape_byte, n - i));
			if (!q)
				break;
			i = static_cast<size_t>(q - a);
		}
		unsigned char b = a[i];
		if (b == escape_byte) {
			run++;
			continue;
		}
		if (!ends_in_escape(std::exchange(run, 0)))
			continue;
		size_t esc = i - 4;
		bool on_grid = esc % 4 == 0;
		if (b == start_byte) {
			size_t j = i + 1;
			while (j < n && j < i + 4 && a[j] == start_byte)
				j++;
			if (j == i + 4)
				return shape::broken;
			if (j == n)
				break;
			if (on_grid)
				return shape::broken;
			i = j - 1; // a[j] is data, and may begin a run
		} else if (b == end_byte && on_grid) {
			if (esc + end_block_len > n)
				break;
			return frame_crc(policy, a, esc) != no_match && padding_ok(a, esc) ? shape::intact : shape::broken;
		} else if (on_grid) {
			return shape::broken;
		}
	}
	return shape::open;
}

struct inner {
	size_t at;
	shape what;
};

// A frame that the failed one in a[0, n) swallowed: the first start sequence
// after its own that begins a frame intact within n or, when open_too, one
// still open at n (those after it are then looked at when that one ends);
// broken if there is none. Start sequences are at least 8 bytes apart and
// each costs a pass over the rest, with a CRC when it reaches an end block.
[[gnu::cold]] inner swallowed(const unsigned char *a, size_t n, int policy, bool open_too) {
	for (size_t from = start_len; from + start_len <= n;) {
		const void *hit = memmem(a + from, n - from, start_seq, start_len);
		if (!hit)
			break;
		size_t k = static_cast<size_t>(static_cast<const unsigned char *>(hit) - a);
		shape s = probe(a + k, n - k, policy);
		if (s == shape::intact || (s == shape::open && open_too))
			return {k, s};
		from = k + start_len;
	}
	return {0, shape::broken};
}

class decoder {
public:
	explicit decoder(sml_stream &s) : s_(s) {}

	// Returns how many bytes it took: all of them unless a callback stopped.
	size_t feed(const unsigned char *p, size_t len) {
		if (!replay())
			return 0;
		size_t taken = 0;
		while (taken < len) {
			taken += process(p + taken, len - taken);
			if (stopped_ || !replay())
				break;
		}
		return taken;
	}

	// True when a callback stopped it.
	bool finish() {
		if (!replay())
			return true;
		while (s_.mode != hunting) {
			fail(SML_STREAM_UNFINISHED);
			if (!replay())
				return true;
		}
		if (s_.dropping && s_.drop_end < s_.pos) {
			settle();
			if (stopped_)
				return true;
		}
		end_hunt(s_.pos);
		return stopped_;
	}

private:
	sml_stream &s_;
	bool failed_ = false;
	bool stopped_ = false;

	// Runs bytes through the decoder until they are used up or a frame
	// fails; returns how many it took.
	size_t process(const unsigned char *p, size_t len) {
		const unsigned char *const begin = p, *const end = p + len;
		failed_ = false;
		while (p < end && !failed_ && !stopped_) {
			switch (s_.mode) {
			case hunting:
				p = hunt(p, end);
				break;
			case in_frame:
				p = collect(p, end);
				break;
			default:
				p = step(p);
			}
		}
		return static_cast<size_t>(p - begin);
	}

	// Feeds a failed frame's bytes through again, and whatever a failure
	// among them leaves to re-examine, until nothing is left or a callback
	// stops; false then, with the bytes not yet fed still pending.
	bool replay() {
		while (s_.replay_begin < s_.replay_end) {
			size_t from = s_.replay_begin, to = s_.replay_end;
			s_.replay_begin = s_.replay_end = 0;
			size_t k = process(s_.area + from, to - from);
			if (from + k < to && failed_) {
				// A frame among them failed: its own tail comes first, then
				// the rest of these. Frames are stored behind the bytes they
				// are read from, so the rest lies beyond the new tail.
				size_t rest = to - (from + k);
				std::memmove(s_.area + s_.replay_end, s_.area + from + k, rest);
				s_.replay_end += rest;
			} else if (from + k < to) {
				s_.replay_begin = from + k;
				s_.replay_end = to;
			}
			if (stopped_)
				return false;
		}
		return true;
	}

	// The match is kept in locals: most bytes here are noise, and this loop
	// is what the decoder's speed on them comes down to.
	const unsigned char *hunt(const unsigned char *p, const unsigned char *end) {
		unsigned run = s_.hunt_run, ones = s_.hunt_ones;
		uint64_t pos = s_.pos;
		bool pending = s_.dropping;
		auto keep = [&] {
			s_.hunt_run = run;
			s_.hunt_ones = ones;
			s_.pos = pos;
		};
		while (p < end) {
			if (run == 0) {
				auto *q = static_cast<const unsigned char *>(std::memchr(p, escape_byte, static_cast<size_t>(end - p)));
				const unsigned char *to = q ? q : end;
				pos += static_cast<size_t>(to - p);
				p = to;
				if (!q)
					break;
			}
			unsigned char b = *p++;
			pos++;
			if (b == escape_byte) {
				// More than four 1B: the start sequence is the last four.
				if (ones) {
					ones = 0, run = 1;
				} else if (run < 4) {
					run++;
					continue;
				} else {
					run = run < max_hunt_run ? run + 1 : 4;
				}
			} else if (b == start_byte && run >= 4) {
				if (++ones == 4) {
					keep();
					begin_frame();
					return p;
				}
				continue;
			} else {
				run = ones = 0;
			}
			// The match now begins later: the failed frame's last 1B begin
			// no start sequence once it begins after them.
			if (pending && pos - std::min(run, 4u) - ones >= s_.drop_end) [[unlikely]] {
				keep();
				settle();
				pending = false;
				if (stopped_)
					return p;
			}
		}
		keep();
		return p;
	}

	// The bytes hunted over up to here were noise, or the rest of a frame too
	// long for the area.
	void end_hunt(uint64_t at) {
		if (at > s_.noise_start)
			drop(s_.dropping ? static_cast<sml_stream_drop_reason>(s_.dropping) : SML_STREAM_NOISE,
			     at - s_.noise_start, s_.noise_start);
		s_.dropping = 0;
		s_.noise_start = at;
	}

	void begin_frame() {
		// In the rest of a frame too long for the area, a start sequence its
		// escaping explains (eight 1B before the 01s) may be its own data:
		// the drop goes on until this frame turns out intact.
		bool own_data = s_.dropping && s_.drop_end == open_end && !ends_in_escape(s_.hunt_run);
		s_.hunt_run = s_.hunt_ones = 0;
		s_.frame_start = s_.pos - start_len;
		if (!own_data)
			end_hunt(s_.frame_start);
		if (s_.area_len < start_len) {
			drop(SML_STREAM_TOO_LONG, start_len, s_.frame_start);
			s_.noise_start = s_.pos;
			return;
		}
		std::memcpy(s_.area, start_seq, start_len);
		s_.stored = start_len;
		s_.run = 0;
		s_.escaped = 0;
		s_.mode = in_frame;
	}

	const unsigned char *collect(const unsigned char *p, const unsigned char *end) {
		while (p < end) {
			if (s_.run == 0) {
				// Bytes up to the next 1B need no look.
				size_t avail = static_cast<size_t>(end - p);
				auto *q = static_cast<const unsigned char *>(std::memchr(p, escape_byte, avail));
				size_t n = q ? static_cast<size_t>(q - p) : avail;
				size_t room = s_.area_len - s_.stored;
				if (n > room) {
					store(p, room);
					fail(SML_STREAM_TOO_LONG);
					return p + room;
				}
				store(p, n);
				p += n;
				if (!q)
					break;
			}
			if (s_.stored == s_.area_len) {
				fail(SML_STREAM_TOO_LONG);
				break;
			}
			unsigned char b = *p++;
			store(&b, 1);
			if (b == escape_byte) {
				s_.run++;
				continue;
			}
			size_t run = s_.run;
			s_.run = 0;
			if (run >= 8)
				s_.escaped = 1;
			if (!ends_in_escape(run))
				continue;
			// The last four 1B before b are an escape sequence.
			s_.esc = s_.stored - 1 - 4;
			bool on_grid = s_.esc % 4 == 0;
			if (b == start_byte) {
				s_.sub = 1;
				s_.mode = start_check;
				break;
			}
			if (b == end_byte && on_grid) {
				s_.sub = 0;
				s_.mode = end_block;
				break;
			}
			if (on_grid) {
				fail(SML_STREAM_BAD_ESCAPE);
				break;
			}
			// Off the grid: a sender that does not escape wrote these as data.
		}
		return p;
	}

	// One byte after an escape: in the start sequence check or the end block.
	const unsigned char *step(const unsigned char *p) {
		if (s_.stored == s_.area_len) {
			fail(SML_STREAM_TOO_LONG);
			return p;
		}
		unsigned char b = *p;
		if (s_.mode == start_check && b != start_byte && s_.esc % 4 == 0) {
			// A 1B that breaks the escape may begin the next start sequence:
			// it is left to the hunt.
			if (b != escape_byte)
				store(p++, 1);
			fail(SML_STREAM_BAD_ESCAPE);
			return p;
		}
		store(p++, 1);
		if (s_.mode == end_block) {
			if (++s_.sub == 3)
				complete();
		} else if (b == start_byte) {
			if (++s_.sub == 4)
				fail(SML_STREAM_CUT_SHORT);
		} else {
			// 1B1B1B1B 01.. off the grid and no start sequence: data.
			s_.mode = in_frame;
			s_.run = b == escape_byte;
		}
		return p;
	}

	// Replayed bytes come from further on in the area itself.
	void store(const unsigned char *p, size_t n) {
		std::memmove(s_.area + s_.stored, p, n);
		s_.stored += n;
		s_.pos += n;
	}

	void complete() {
		unsigned char *a = s_.area;
		size_t e = s_.esc;
		int crc = frame_crc(s_.crc_policy, a, e);
		if (crc == no_match) {
			inner in = swallowed(a, s_.stored, s_.crc_policy, false);
			if (s_.crc_policy != lenient_crc || in.what == shape::intact) {
				fail(SML_STREAM_BAD_CRC, in);
				return;
			}
			crc = SML_FRAME_CRC_UNCHECKED;
		}
		if (!padding_ok(a, e)) {
			fail(SML_STREAM_BAD_PADDING);
			return;
		}
		if (s_.dropping) {
			// It began in the rest of a frame too long for the area, which
			// therefore ends here; fed again, it comes out after that drop.
			uint64_t from = s_.noise_start;
			restart(0, s_.stored);
			drop(SML_STREAM_TOO_LONG, s_.frame_start - from, from);
			return;
		}
		size_t payload = e - start_len;
		size_t pad = a[e + 5];
		size_t len = s_.escaped ? unescape(a + start_len, payload) : payload;
		if (len != payload)
			std::memmove(a + start_len + len, a + e, end_block_len);
		sml_stream_frame frame{a + start_len, len - pad, a, start_len + len + end_block_len, e + end_block_len,
				       s_.frame_start, static_cast<sml_frame_crc>(crc)};
		hunt_from_here();
		if (s_.on_frame && s_.on_frame(&frame, s_.ctx))
			stopped_ = true;
	}

	[[gnu::cold]] void fail(sml_stream_drop_reason reason) {
		size_t own = reason == SML_STREAM_CUT_SHORT ? s_.esc : s_.stored;
		fail(reason, swallowed(s_.area, own, s_.crc_policy, reason == SML_STREAM_TOO_LONG));
	}

	// The frame in area[0, stored) failed. A frame it swallowed is fed again
	// from its start sequence, after the drop of the bytes before it.
	// Otherwise the drop covers the frame's own bytes and is reported now,
	// but for a frame too long for the area, whose drop goes on up to the
	// next start sequence, and for a frame whose end block ends in 1B, whose
	// drop waits until the bytes after it show whether those begin a start
	// sequence. A frame that fails after one too long for the area began is
	// part of that one's drop.
	[[gnu::cold]] void fail(sml_stream_drop_reason reason, inner in) {
		const unsigned char *a = s_.area;
		size_t n = s_.stored;
		uint64_t from = s_.dropping ? s_.noise_start : s_.frame_start;
		auto why = s_.dropping ? static_cast<sml_stream_drop_reason>(s_.dropping) : reason;
		if (in.what == shape::intact) {
			restart(in.at, n);
			drop(why, s_.pos - from, from);
		} else if (reason == SML_STREAM_TOO_LONG) {
			// The hunt goes on over the 1B before the frame that may begin
			// here, to tell that they make its start sequence data.
			size_t at = in.what == shape::open ? in.at : partial_start(a, n);
			while (at > start_len && at < n && a[at - 1] == escape_byte)
				at--;
			restart(at, n);
			pend(SML_STREAM_TOO_LONG, from, open_end);
		} else if (reason == SML_STREAM_CUT_SHORT) {
			restart(s_.esc, n);
			drop(why, s_.pos - from, from);
		} else {
			bool end = reason == SML_STREAM_BAD_CRC || reason == SML_STREAM_BAD_PADDING;
			size_t tail = end ? trailing_escapes(a, n) : 0;
			restart(n - tail, n);
			if (tail)
				pend(why, from, s_.frame_start + n);
			else
				drop(why, s_.pos - from, from);
		}
	}

	// The bytes from area[at] to area[n] are fed again, from the hunt.
	void restart(size_t at, size_t n) {
		s_.replay_begin = at;
		s_.replay_end = n;
		s_.pos = s_.frame_start + at;
		s_.dropping = 0;
		hunt_from_here();
		failed_ = true;
	}

	// A drop from stream position from, reported when the hunt ends or, for
	// an end before open_end, once the hunt has passed it.
	void pend(sml_stream_drop_reason reason, uint64_t from, uint64_t end) {
		s_.dropping = reason;
		s_.noise_start = from;
		s_.drop_end = end;
	}

	[[gnu::cold]] void settle() {
		auto why = static_cast<sml_stream_drop_reason>(s_.dropping);
		uint64_t from = s_.noise_start;
		s_.dropping = 0;
		s_.noise_start = s_.drop_end;
		drop(why, s_.drop_end - from, from);
	}

	void hunt_from_here() {
		s_.mode = hunting;
		s_.hunt_run = s_.hunt_ones = 0;
		s_.stored = 0;
		s_.run = 0;
		s_.noise_start = s_.pos;
	}

	void drop(sml_stream_drop_reason reason, uint64_t count, uint64_t offset) {
		if (!s_.on_drop)
			return;
		sml_stream_drop d{reason, count, offset};
		if (s_.on_drop(&d, s_.ctx))
			stopped_ = true;
	}
};

} // namespace

namespace zelkor::detail {

size_t stream_need(const sml_stream &s) {
	switch (s.mode) {
	case hunting:
		return s.hunt_ones ? 4 - s.hunt_ones + end_block_len : start_len - std::min(s.hunt_run, 4u) + end_block_len;
	case in_frame: {
		// The end escape begins on the grid, possibly with 1B already here.
		size_t o = s.stored;
		size_t best = (4 - o % 4) % 4 + end_block_len;
		for (size_t t = 1; t <= std::min<size_t>(s.run, 4); t++)
			if ((o - t) % 4 == 0)
				best = std::min(best, end_block_len - t);
		return best;
	}
	case end_block:
		return 3 - s.sub;
	default:
		return 1;
	}
}

bool stream_hunting(const sml_stream &s) { return s.mode == hunting; }

bool stream_dropping(const sml_stream &s) { return s.dropping != 0; }

bool stream_idle(const sml_stream &s) { return stream_hunting(s) && s.hunt_run == 0 && s.hunt_ones == 0; }

void stream_check_crc_leniently(sml_stream &s) { s.crc_policy = lenient_crc; }

} // namespace zelkor::detail

extern "C" {

void sml_stream_init(sml_stream *s, unsigned char *area, size_t area_len, sml_stream_frame_fn on_frame,
		     sml_stream_drop_fn on_drop, void *ctx) {
	*s = sml_stream{};
	s->area = area;
	s->area_len = area ? area_len : 0;
	s->on_frame = on_frame;
	s->on_drop = on_drop;
	s->ctx = ctx;
	s->crc_policy = SML_STREAM_CRC_ANY;
	s->mode = hunting;
}

int sml_stream_set_crc_policy(sml_stream *s, sml_stream_crc_policy policy) {
	switch (policy) {
	case SML_STREAM_CRC_ANY:
	case SML_STREAM_CRC_X25:
	case SML_STREAM_CRC_NONE:
		s->crc_policy = policy;
		return 0;
	}
	return -1;
}

size_t sml_stream_feed(sml_stream *s, const unsigned char *bytes, size_t len) {
	return decoder(*s).feed(bytes, bytes ? len : 0);
}

int sml_stream_finish(sml_stream *s) {
	bool stopped = decoder(*s).finish();
	int policy = s->crc_policy;
	sml_stream_init(s, s->area, s->area_len, s->on_frame, s->on_drop, s->ctx);
	s->crc_policy = policy;
	return stopped ? 1 : 0;
}

const char *sml_stream_drop_text(sml_stream_drop_reason reason) {
	switch (reason) {
	case SML_STREAM_NOISE: return "noise between frames";
	case SML_STREAM_CUT_SHORT: return "frame cut short by a new start sequence";
	case SML_STREAM_BAD_CRC: return "frame CRC does not match";
	case SML_STREAM_BAD_ESCAPE: return "unknown escape sequence";
	case SML_STREAM_BAD_PADDING: return "bad padding";
	case SML_STREAM_TOO_LONG: return "frame longer than the working area";
	case SML_STREAM_UNFINISHED: return "input ended inside a frame";
	}
	return "unknown reason";
}

} // extern "C"
