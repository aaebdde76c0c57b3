// Readings walked straight from the bytes of a file, field by field as the
// tree parsers read them, without allocating:
//   file             (00 ...) message (00 ...) message ...
//   message          76 | transaction_id | group_id | abort_on_error | 72 tag body | crc | (00)
//   GetList          77 | client_id | server_id | list_name | act_sensor_time
//                       | val_list (7n entry ...) | list_signature | act_gateway_time
//     entry          77 | obj_name | status | val_time | unit | scaler | value | value_signature
//   profile list     79 | server_id | act_time | reg_period | parameter_tree_path | val_time | status
//                       | period_list (7n period entry ...) | rawdata | period_signature
//     period entry   75 | obj_name | unit | scaler | value | value_signature   (or 01)
//   profile pack     78 | server_id | act_time | reg_period | parameter_tree_path
//                       | header_list (7n header ...) | period_list (7n period ...) | rawdata | signature
//     header         73 | obj_name | unit | scaler
//     period         74 | val_time | status | value_list (7n value entry ...) | period_signature
//     value entry    72 | value | value_signature
#include <sml/sml_reading.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <optional>
#include <span>

#include <sml/sml_list_type.h>
#include <sml/sml_message.h>
#include <sml/sml_time.h>

#include "body_dispatch.hpp"
#include "width.hpp"
#include "wire.hpp"

namespace zelkor::detail {
namespace {

using wire::got;
using wire::reader;

// A walk without bytes though some were announced says so once, then is done.
enum phase : int { start, between, entries, periods, values, tail, done, no_input };

ZELKOR_HOT sml_bytes view(const wire::bytes_field &f) {
	if (f.what != got::value)
		return {nullptr, 0};
	return {f.value.data(), f.value.size()};
}

ZELKOR_HOT bool is_list_of(reader &r, int n) {
	if (r.next_type() != SML_TL_LIST)
		return false;
	wire::type_length t = r.tl();
	return t.whole && t.length == n;
}

// A time as sml_time_parse reads it: the bare number, the list of two with a
// number, or with a list of three numbers (kept under tag 3 only).
ZELKOR_HOT got read_time(reader &r, sml_reading_time &t) {
	t = {};
	if (r.optional())
		return got::absent;
	if (r.next_type() == SML_TL_UNSIGNED) {
		auto n = wire::number(r, SML_TL_UNSIGNED, 4);
		t = {SML_READING_TIME_SEC_INDEX, static_cast<uint32_t>(n.value), 0, 0};
		return n.what;
	}
	if (!is_list_of(r, 2))
		return got::error;
	auto tag = wire::number(r, SML_TL_UNSIGNED, 1);
	if (tag.what == got::error)
		return got::error;
	if (r.optional())
		return got::value;
	if (r.next_type() == SML_TL_UNSIGNED) {
		auto n = wire::number(r, SML_TL_UNSIGNED, 4);
		sml_reading_time_kind kind = tag.what == got::absent		   ? SML_READING_TIME_OTHER
					     : tag.value == SML_TIME_SEC_INDEX ? SML_READING_TIME_SEC_INDEX
					     : tag.value == SML_TIME_TIMESTAMP ? SML_READING_TIME_TIMESTAMP
									       : SML_READING_TIME_OTHER;
		t = {kind, static_cast<uint32_t>(n.value), 0, 0};
		return n.what;
	}
	if (r.next_type() != SML_TL_LIST)
		return got::error;
	wire::type_length list = r.tl();
	if (!list.whole)
		return got::error;
	// As the tree reads it: three numbers, and a list of three.
	if (list.length != 3)
		return got::error;
	auto v0 = wire::number(r, SML_TL_UNSIGNED, 4);
	if (v0.what == got::error)
		return got::error;
	auto v1 = wire::number(r, SML_TL_INTEGER, 2);
	if (v1.what == got::error)
		return got::error;
	auto v2 = wire::number(r, SML_TL_INTEGER, 2);
	if (v2.what == got::error)
		return got::error;
	if (tag.what == got::value && tag.value == SML_TIME_LOCAL_TIMESTAMP && v0.what == got::value &&
	    v1.what == got::value && v2.what == got::value)
		t = {SML_READING_TIME_LOCAL_TIMESTAMP, static_cast<uint32_t>(v0.value), static_cast<int16_t>(v1.value),
		     static_cast<int16_t>(v2.value)};
	return got::value;
}

// A status word as sml_status_parse reads it: unsigned, 1 to 8 data bytes.
ZELKOR_HOT got read_status(reader &r, sml_reading &out) {
	if (r.optional())
		return got::absent;
	int w = integer_width(r);
	if (r.next_type() != SML_TL_UNSIGNED || !w)
		return got::error;
	auto n = wire::number(r, SML_TL_UNSIGNED, w);
	if (n.what == got::value) {
		out.status = n.value;
		out.flags |= SML_READING_HAS_STATUS;
	}
	return n.what;
}

got read_list_type_at(reader &r, sml_reading &out) {
	size_t start = r.pos;
	if (!is_list_of(r, 2))
		return got::error;
	auto tag = wire::number(r, SML_TL_UNSIGNED, 1);
	if (tag.what != got::value)
		return got::error;
	switch (tag.value) {
	case SML_LIST_TYPE_TIME:
		if (r.next_type() != SML_TL_LIST || read_time(r, out.value.time) != got::value)
			return got::error;
		out.kind = SML_READING_TIME;
		return got::value;
	case SML_LIST_TYPE_TIMESTAMPED_VALUE:
	case SML_LIST_TYPE_COSEM_VALUE:
		if (!wire::step(r))
			return got::error;
		out.kind = SML_READING_UNSUPPORTED;
		out.value.bytes = {r.bytes + start, r.pos - start};
		return got::value;
	}
	return got::error;
}

// A list-typed value as sml_list_type_parse reads it. Rare, so not inlined:
// the reader comes by value (which keeps the caller's in registers) and the
// position after the value goes to end.
got read_list_type(reader r, sml_reading &out, size_t &end) {
	got what = read_list_type_at(r, out);
	end = r.pos;
	return what;
}

// A value as sml_value_parse reads it.
ZELKOR_HOT got read_value(reader &r, sml_reading &out) {
	if (r.optional())
		return got::absent;
	unsigned char first = r.current();
	switch (int type = first & SML_TL_LIST) {
	case SML_TL_OCTET_STRING: {
		auto s = wire::octet_string(r);
		out.kind = SML_READING_BYTES;
		out.value.bytes = view(s);
		return s.what;
	}
	case SML_TL_BOOLEAN: {
		auto b = wire::boolean(r);
		out.kind = SML_READING_BOOLEAN;
		out.value.boolean = b.value;
		return b.what;
	}
	case SML_TL_INTEGER:
	case SML_TL_UNSIGNED: {
		int w = integer_width(r);
		if (!w)
			return got::error;
		auto n = wire::number(r, type, w);
		if (type == SML_TL_INTEGER) {
			out.kind = SML_READING_SIGNED;
			out.value.i64 = static_cast<int64_t>(n.value);
		} else {
			out.kind = SML_READING_UNSIGNED;
			out.value.u64 = n.value;
		}
		return n.what;
	}
	case SML_TL_LIST: {
		size_t end;
		got what = read_list_type(r, out, end);
		r.pos = end;
		return what;
	}
	}
	return got::error;
}

// A GetList entry in the form nearly every meter sends, read in one pass
// without bounds checks: every field has a one-byte type-length field, the
// time and signature are absent, the unit and scaler absent or one byte, and
// the value absent, a short octet string, a boolean or an integer. Such an
// entry takes at most quick_entry_span bytes, so the caller makes sure that
// many are left. Anything else gives 0 and is read the general way, from the
// start, which also names what is wrong. The result is what getlist_entry
// reads from the same bytes; the fuzz target that checks the walk against
// the tree holds the two to it.
//
// The list byte, a name of 14 bytes, a status of 8, the absent time, unit
// and scaler of one, a value of 14 bytes and the absent signature, each
// data field after its type-length byte. An integer's eight bytes after its
// type-length byte lie inside it too: the value starts 30 bytes in at most.
inline constexpr size_t quick_entry_span = 1 + 15 + 9 + 1 + 2 + 2 + 15 + 1;
static_assert(1 + 15 + 9 + 1 + 2 + 2 + 1 + 8 <= quick_entry_span);

// n (0 to 8) big-endian bytes at p widened as wire::widen does, in one load
// of eight bytes: inside a quick entry's span they are always there.
ZELKOR_HOT uint64_t widen_in_span(const unsigned char *p, int n, int type) {
	if (n == 0)
		return 0;
	uint64_t v = wire::load_big_endian<uint64_t>(p);
	unsigned shift = 64 - 8 * static_cast<unsigned>(n);
	return type == SML_TL_INTEGER ? static_cast<uint64_t>(static_cast<int64_t>(v) >> shift) : v >> shift;
}

// A one-byte number of the type (unit, scaler) or the absent marker, read
// as the general reader would; false for any other form.
ZELKOR_HOT bool quick_byte(const unsigned char *&p, int type, unsigned char &to, unsigned &flags, unsigned present) {
	if (*p == (type | 2)) {
		to = p[1];
		flags |= present;
		p += 2;
		return true;
	}
	if (*p == SML_OPTIONAL_SKIPPED) {
		to = 0;
		p++;
		return true;
	}
	return false;
}

ZELKOR_HOT size_t quick_entry(const unsigned char *entry, sml_reading &out) {
	const unsigned char *p = entry;
	if (*p++ != 0x77)
		return 0;
	unsigned char t = *p;
	if (t == 0x07) {
		out.name = {p + 1, 6};
		std::memcpy(out.obis, p + 1, 6);
		out.flags |= SML_READING_HAS_OBIS;
		p += 7;
	} else if (t >= 0x02 && t <= 0x0F) {
		out.name = {p + 1, static_cast<size_t>(t - 1)};
		p += t;
	} else if (t == SML_OPTIONAL_SKIPPED) {
		out.name = {nullptr, 0};
		p++;
	} else {
		return 0;
	}
	t = *p;
	if (t == SML_OPTIONAL_SKIPPED) {
		p++;
	} else if (t >= (SML_TL_UNSIGNED | 1) && t <= (SML_TL_UNSIGNED | 9)) {
		out.status = widen_in_span(p + 1, t - (SML_TL_UNSIGNED | 1), SML_TL_UNSIGNED);
		out.flags |= SML_READING_HAS_STATUS;
		p += t - SML_TL_UNSIGNED;
	} else {
		return 0;
	}
	if (*p++ != SML_OPTIONAL_SKIPPED)
		return 0;
	out.val_time = {};
	unsigned char scaler;
	if (!quick_byte(p, SML_TL_UNSIGNED, out.unit, out.flags, SML_READING_HAS_UNIT) ||
	    !quick_byte(p, SML_TL_INTEGER, scaler, out.flags, SML_READING_HAS_SCALER))
		return 0;
	out.scaler = static_cast<signed char>(scaler);
	t = *p;
	// A type-length field of more bytes holds a longer value.
	if (t & SML_TL_MORE)
		return 0;
	int type = t & SML_TL_LIST;
	int n = (t & SML_TL_LENGTH_MASK) - 1;
	if (t == SML_OPTIONAL_SKIPPED) {
		p++;
	} else if ((type == SML_TL_INTEGER || type == SML_TL_UNSIGNED) && n >= 0 && n <= 8) {
		uint64_t v = widen_in_span(p + 1, n, type);
		out.kind = type == SML_TL_INTEGER ? SML_READING_SIGNED : SML_READING_UNSIGNED;
		out.value.u64 = v;
		p += 1 + n;
	} else if (type == SML_TL_OCTET_STRING && n > 0) {
		out.kind = SML_READING_BYTES;
		out.value.bytes = {p + 1, static_cast<size_t>(n)};
		p += 1 + n;
	} else if (t == (SML_TL_BOOLEAN | 2)) {
		out.kind = SML_READING_BOOLEAN;
		out.value.boolean = p[1] != 0;
		p += 2;
	} else {
		return 0;
	}
	if (*p++ != SML_OPTIONAL_SKIPPED)
		return 0;
	out.signature = {nullptr, 0};
	return static_cast<size_t>(p - entry);
}

// The fields an entry holds.
enum class slot : unsigned char { name, status, val_time, unit, scaler, value, signature };

template <slot S> ZELKOR_HOT sml_reading_reason read_slot(reader &r, sml_reading &out) {
	if constexpr (S == slot::name) {
		auto n = wire::octet_string(r);
		out.name = view(n);
		if (n.value.size() == 6) {
			std::memcpy(out.obis, n.value.data(), 6);
			out.flags |= SML_READING_HAS_OBIS;
		}
		return n.what == got::error ? SML_READING_BAD_OBJ_NAME : SML_READING_OK;
	} else if constexpr (S == slot::status) {
		return read_status(r, out) == got::error ? SML_READING_BAD_STATUS : SML_READING_OK;
	} else if constexpr (S == slot::val_time) {
		return read_time(r, out.val_time) == got::error ? SML_READING_BAD_VAL_TIME : SML_READING_OK;
	} else if constexpr (S == slot::unit) {
		auto u = wire::number(r, SML_TL_UNSIGNED, 1);
		out.unit = static_cast<unsigned char>(u.value);
		out.flags |= u.what == got::value ? SML_READING_HAS_UNIT : 0;
		return u.what == got::error ? SML_READING_BAD_UNIT : SML_READING_OK;
	} else if constexpr (S == slot::scaler) {
		auto s = wire::number(r, SML_TL_INTEGER, 1);
		out.scaler = static_cast<signed char>(s.value);
		out.flags |= s.what == got::value ? SML_READING_HAS_SCALER : 0;
		return s.what == got::error ? SML_READING_BAD_SCALER : SML_READING_OK;
	} else if constexpr (S == slot::value) {
		return read_value(r, out) == got::error ? SML_READING_BAD_VALUE : SML_READING_OK;
	} else {
		auto s = wire::octet_string(r);
		out.signature = view(s);
		return s.what == got::error ? SML_READING_BAD_SIGNATURE : SML_READING_OK;
	}
}

// A record of the given fields in wire order, never absent: a list of their
// count. The first field that fails names the reason.
template <slot... Fields> struct record_of {
	ZELKOR_HOT static sml_reading_reason read(reader &r, sml_reading &out) {
		if (!is_list_of(r, sizeof...(Fields)))
			return SML_READING_BAD_ENTRY;
		sml_reading_reason why = SML_READING_OK;
		static_cast<void>((((why = read_slot<Fields>(r, out)) == SML_READING_OK) && ...));
		return why;
	}
};

using getlist_entry = record_of<slot::name, slot::status, slot::val_time, slot::unit, slot::scaler, slot::value,
				slot::signature>;
using period_entry = record_of<slot::name, slot::unit, slot::scaler, slot::value, slot::signature>;
using pack_header = record_of<slot::name, slot::unit, slot::scaler>;
using pack_value = record_of<slot::value, slot::signature>;

ZELKOR_HOT bool read_octets(reader &r, sml_bytes &to) {
	auto s = wire::octet_string(r);
	to = view(s);
	return s.what != got::error;
}

ZELKOR_HOT bool read_number(reader &r, int type, int max_size) { return wire::number(r, type, max_size).what != got::error; }

// The count of a list that must stand (an absent one fails).
ZELKOR_HOT bool read_count(reader &r, int &count) {
	if (r.next_type() != SML_TL_LIST)
		return false;
	wire::type_length t = r.tl();
	if (!t.whole)
		return false;
	count = t.length;
	return true;
}

class walk {
	sml_reading_cursor &c;
	sml_reading &out;
	reader home;
	size_t resume = 0;

public:
	walk(sml_reading_cursor &cursor, sml_reading &reading)
		: c(cursor), out(reading), home{cursor.file, cursor.len, cursor.pos} {}
	~walk() { c.pos = home.pos; }
	walk(const walk &) = delete;
	walk &operator=(const walk &) = delete;

	// Walks on and hands each reading to deliver, until deliver returns
	// true (then 1), the walk is over (0) or cannot start (negative).
	template <class Deliver> int drive(Deliver &&deliver) {
		for (;;) {
			int got = 0;
			// The usual phases by tests, not a jump table: the processor
			// foresees the order they come in better than an indirect jump.
			int phase = c.phase;
			if (phase == between || phase == start) {
				got = begin_message();
			} else if (phase == entries) {
				// A GetList's readings come from one loop, most of the walk.
				if (int ended = entries_of_list(deliver))
					return ended;
				continue;
			} else if (phase == tail) {
				got = end_message();
			} else switch (phase) {
			case periods:
				if (c.owed == 0) {
					c.phase = tail;
					continue;
				}
				c.owed--;
				got = period();
				break;
			case values:
				got = c.values == 0 ? end_period() : pack_value_entry();
				break;
			case no_input:
				c.phase = done;
				return SML_READINGS_NO_INPUT;
			default:
				return 0;
			}
			if (got < 0)
				return got;
			if (got > 0 && deliver())
				return 1;
		}
	}

	int next() {
		return drive([] { return true; });
	}

	// The entries left in the value list, on one reader kept in registers;
	// 1 when deliver asked to stop, 0 once the list or the walk is over. The
	// body's context goes into the reading once: between two entries only
	// the walk writes to it.
	template <class Deliver> int entries_of_list(Deliver &deliver) {
		return c.shared.body == SML_BODY_GET_LIST_RESPONSE ? entries_of<true>(deliver)
								    : entries_of<false>(deliver);
	}

	// The counters live in locals while the loop runs and go back to the
	// cursor wherever the loop is left.
	template <bool GetList, class Deliver> int entries_of(Deliver &deliver) {
		reader r = home;
		int owed = c.owed;
		unsigned entry = c.entry;
		auto leave = [&](int ended) {
			home.pos = r.pos;
			c.owed = owed;
			c.entry = entry;
			return ended;
		};
		begin_context();
		while (owed > 0) {
			owed--;
			size_t at = r.pos;
			unsigned index = entry++;
			// A period entry may be absent; it holds no reading.
			if (!GetList && r.optional())
				continue;
			begin_entry<GetList>(at, index);
			if constexpr (GetList) {
				if (r.len - r.pos >= quick_entry_span) {
					if (size_t n = quick_entry(r.bytes + r.pos, out)) {
						r.pos += n;
						if (deliver())
							return leave(1);
						continue;
					}
					// What the quick read set is set again from scratch.
					begin_entry<false>(at, index);
				}
			}
			sml_reading_reason why = GetList ? getlist_entry::read(r, out) : period_entry::read(r, out);
			if (why != SML_READING_OK) {
				c.entry = entry;
				unreadable(r, why, at, index);
				// Broken: that reading is the walk's last.
				if (c.phase != entries)
					return leave(deliver() ? 1 : 0);
			}
			if (deliver())
				return leave(1);
		}
		c.phase = tail;
		return leave(0);
	}

private:
	// Each step of the walk runs on a copy of the walk's reader, written back
	// afterwards. No write to the reading can touch the copy, so it stays in
	// registers: the position runs from one length to the next, the chain
	// every field waits on.
// The steps of every message are inlined into the walk's loop; the rarer
// profile steps stay calls.
#define ZELKOR_ON_COPY(step, inlined)                                                              \
	inlined int step() {                                                                       \
		reader r = home;                                                                   \
		int got = step##_at(r);                                                            \
		home.pos = r.pos;                                                                  \
		return got;                                                                        \
	}
	ZELKOR_ON_COPY(begin_message, ZELKOR_HOT)
	ZELKOR_ON_COPY(period, )
	ZELKOR_ON_COPY(pack_value_entry, )
	ZELKOR_ON_COPY(end_period, )
	ZELKOR_ON_COPY(end_message, ZELKOR_HOT)
#undef ZELKOR_ON_COPY

	// A reading that reports rather than reads: the body's context, no
	// fields of its own.
	int report(sml_reading_reason why, size_t at, unsigned index) {
		begin_reading(at, index);
		out.flags = 0;
		out.val_time = {};
		out.status = 0;
		out.reason = why;
		return 1;
	}

	// The walk ends with a reading that says where.
	int broken(size_t at) {
		c.phase = done;
		return report(SML_READING_BROKEN, at, c.entry);
	}

	// Reports what failed at `at` and steps r over it; where it cannot be
	// stepped over, the walk is broken there.
	ZELKOR_HOT int unreadable(reader &r, sml_reading_reason why, size_t at, unsigned index) {
		int got = report_unreadable(why, at, index);
		r.pos = resume;
		return got;
	}

	// Out of line, so that the readers of the hot path stay in registers:
	// where the walk goes on is left in resume.
	int report_unreadable(sml_reading_reason why, size_t at, unsigned index) {
		std::optional<size_t> after = wire::stepped({home.bytes, home.len, at});
		resume = after.value_or(at);
		if (!after)
			return broken(at);
		return report(why, at, index);
	}

	ZELKOR_HOT int begin_message_at(reader &r) {
		while (r.pos < r.len && r.current() == SML_END_OF_MESSAGE)
			r.pos++;
		if (r.pos >= r.len) {
			c.phase = done;
			return 0;
		}
		size_t at = r.pos;
		if (c.phase == start) {
			reader peek = r;
			if (!is_list_of(peek, 6)) {
				c.phase = done;
				return SML_READINGS_NO_MESSAGE;
			}
			c.phase = between;
		}
		c.shared.body = 0;
		begin_body();
		sml_bytes ignored;
		if (!is_list_of(r, 6))
			return broken(at);
		at = r.pos;
		if (!read_octets(r, ignored))
			return broken(at);
		at = r.pos;
		if (!read_number(r, SML_TL_UNSIGNED, 1))
			return broken(at);
		at = r.pos;
		if (!read_number(r, SML_TL_UNSIGNED, 1))
			return broken(at);
		at = r.pos;
		if (!is_list_of(r, 2))
			return broken(at);
		at = r.pos;
		auto tag = wire::number(r, SML_TL_UNSIGNED, 4);
		if (tag.what != got::value)
			return broken(at);
		size_t body = r.pos;
		c.shared.body = static_cast<uint32_t>(tag.value);
		c.trailing = 0;
		bool ok;
		switch (tag.value) {
		case SML_BODY_GET_LIST_RESPONSE:
			ok = begin_getlist(r);
			break;
		case SML_BODY_GET_PROFILE_LIST_RESPONSE:
			ok = begin_profile_list(r);
			break;
		case SML_BODY_GET_PROFILE_PACK_RESPONSE:
			ok = begin_profile_pack(r);
			break;
		default:
			c.phase = tail;
			// A body that holds no readings, or one of a tag the tree
			// knows no record for: its structure is all that counts.
			if (!wire::step(r))
				return broken(body);
			return 0;
		}
		if (ok)
			return 0;
		// Nothing the response said before it failed is kept.
		begin_body();
		c.phase = tail;
		c.trailing = 0;
		return unreadable(r, SML_READING_BAD_RESPONSE, body, 0);
	}

	// The context of the body's readings starts empty.
	void begin_body() {
		// The fields the walk reads from the context, not the whole reading:
		// this runs for every message.
		sml_reading &s = c.shared;
		s.period = 0;
		s.flags = 0;
		s.status = 0;
		s.val_time = {};
		s.server_id = {nullptr, 0};
		s.list_name = {nullptr, 0};
		s.sensor_time = {};
		c.entry = 0;
	}

	ZELKOR_HOT bool begin_getlist(reader &r) {
		sml_bytes ignored;
		if (!is_list_of(r, 7) || !read_octets(r, ignored) || !read_octets(r, c.shared.server_id) ||
		    !read_octets(r, c.shared.list_name) || read_time(r, c.shared.sensor_time) == got::error)
			return false;
		// The value list may be absent.
		c.owed = 0;
		if (!r.optional() && !read_count(r, c.owed))
			return false;
		c.phase = entries;
		c.trailing = 2;
		return true;
	}

	ZELKOR_HOT bool begin_profile_list(reader &r) {
		if (!is_list_of(r, 9) || !read_octets(r, c.shared.server_id) ||
		    read_time(r, c.shared.sensor_time) == got::error || !read_number(r, SML_TL_UNSIGNED, 4) ||
		    !wire::step(r) || read_time(r, c.shared.val_time) == got::error)
			return false;
		auto status = wire::number(r, SML_TL_UNSIGNED, 8);
		if (status.what == got::error)
			return false;
		if (status.what == got::value) {
			c.shared.status = status.value;
			c.shared.flags |= SML_READING_HAS_STATUS;
		}
		if (!read_count(r, c.owed))
			return false;
		c.phase = entries;
		c.trailing = 2;
		return true;
	}

	// The header list is read whole first: the tree rejects the body for
	// any header entry that fails, and each value is named by its header.
	ZELKOR_HOT bool begin_profile_pack(reader &r) {
		if (!is_list_of(r, 8) || !read_octets(r, c.shared.server_id) ||
		    read_time(r, c.shared.sensor_time) == got::error || !read_number(r, SML_TL_UNSIGNED, 4) ||
		    !wire::step(r) || !read_count(r, c.headers))
			return false;
		c.header_list = r.pos;
		for (int i = 0; i < c.headers; i++) {
			sml_reading scratch{};
			if (pack_header::read(r, scratch) != SML_READING_OK)
				return false;
		}
		if (!read_count(r, c.owed))
			return false;
		c.phase = periods;
		c.trailing = 2;
		return true;
	}

	// A reading of the body's context, its own fields not yet read (obis
	// counts only with its flag).
	ZELKOR_HOT void begin_reading(size_t at, unsigned index) {
		begin_context();
		begin_entry(at, index);
	}

	// What every reading of the body carries.
	ZELKOR_HOT void begin_context() {
		const sml_reading &s = c.shared;
		out.body = s.body;
		out.message = s.message;
		out.period = s.period;
		out.server_id = s.server_id;
		out.list_name = s.list_name;
		out.sensor_time = s.sensor_time;
	}

	// The entry's own fields as they stand before its slots are read. An
	// entry read whole sets its name, unit, scaler and signature (and a
	// GetList entry its time) whatever it holds, so the loop over a list
	// leaves those to the slots; one that fails is reported from scratch.
	template <bool SlotsSetTheRest = false> ZELKOR_HOT void begin_entry(size_t at, unsigned index) {
		const sml_reading &s = c.shared;
		out.entry = index;
		out.offset = at;
		out.reason = SML_READING_OK;
		out.flags = s.flags;
		out.status = s.status;
		out.kind = SML_READING_NONE;
		out.value.bytes = {nullptr, 0};
		if constexpr (!SlotsSetTheRest) {
			out.scaler = 0;
			out.unit = 0;
			out.name = {nullptr, 0};
			out.val_time = s.val_time;
			out.signature = {nullptr, 0};
		}
	}

	// The head of a profile-pack period: its time, status and value list.
	ZELKOR_HOT int period_at(reader &r) {
		size_t at = r.pos;
		sml_reading &p = c.shared;
		p.flags &= ~SML_READING_HAS_STATUS;
		c.entry = 0;
		auto status = wire::field<uint64_t>{got::error, 0};
		bool ok = is_list_of(r, 4) && read_time(r, p.val_time) != got::error &&
			  (status = wire::number(r, SML_TL_UNSIGNED, 8)).what != got::error && read_count(r, c.values);
		if (!ok) {
			p.val_time = {};
			int got = unreadable(r, SML_READING_BAD_PERIOD, at, 0);
			c.shared.period++;
			return got;
		}
		if (status.what == got::value) {
			p.status = status.value;
			p.flags |= SML_READING_HAS_STATUS;
		}
		c.next_header = c.header_list;
		c.phase = values;
		return 0;
	}

	// The next value of a period, named by the header entry at its position.
	ZELKOR_HOT int pack_value_entry_at(reader &r) {
		c.values--;
		size_t at = r.pos;
		unsigned index = c.entry++;
		begin_reading(at, index);
		if (index < static_cast<unsigned>(c.headers)) {
			reader header{r.bytes, r.len, c.next_header};
			pack_header::read(header, out);
			c.next_header = header.pos;
		}
		sml_reading_reason why = pack_value::read(r, out);
		if (why != SML_READING_OK)
			return unreadable(r, why, at, index);
		return 1;
	}

	// Past a period's value list: its signature.
	ZELKOR_HOT int end_period_at(reader &r) {
		size_t at = r.pos;
		if (!wire::step(r))
			return broken(at);
		c.shared.period++;
		c.phase = periods;
		return 0;
	}

	// The rest of the body, the CRC and the end-of-message byte.
	ZELKOR_HOT int end_message_at(reader &r) {
		for (; c.trailing > 0; c.trailing--) {
			size_t at = r.pos;
			if (!wire::step(r))
				return broken(at);
		}
		size_t at = r.pos;
		if (!read_number(r, SML_TL_UNSIGNED, 2))
			return broken(at);
		if (r.pos < r.len && r.current() == SML_END_OF_MESSAGE)
			r.pos++;
		c.shared.message++;
		c.phase = between;
		return 0;
	}
};

// Why a walk could not start: bytes that begin with a start sequence are a
// transport frame, whose file the caller meant, and get a code of their own.
// Zero bytes before it are skipped, as the walk skips them before a message.
int not_started(int got, const unsigned char *file, size_t len) {
	static constexpr unsigned char start_sequence[] = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01};
	if (got != SML_READINGS_NO_MESSAGE)
		return got;
	size_t at = 0;
	while (at < len && file[at] == 0)
		at++;
	if (len - at < sizeof start_sequence || !std::equal(std::begin(start_sequence), std::end(start_sequence), file + at))
		return got;
	return SML_READINGS_TRANSPORT_FRAME;
}

} // namespace
} // namespace zelkor::detail

extern "C" {

void sml_reading_cursor_init(sml_reading_cursor *cursor, const unsigned char *file, size_t len) {
	*cursor = {};
	cursor->file = file;
	cursor->len = file ? len : 0;
	cursor->phase = file || !len ? zelkor::detail::start : zelkor::detail::no_input;
}

int sml_reading_next(sml_reading_cursor *cursor, sml_reading *reading) {
	if (!cursor || !reading)
		return SML_READINGS_NO_INPUT;
	for (uint64_t &word : reading->reserved)
		word = 0;
	int got = zelkor::detail::walk{*cursor, *reading}.next();
	return got < 0 ? zelkor::detail::not_started(got, cursor->file, cursor->len) : got;
}

int sml_readings(const unsigned char *file, size_t len, int (*fn)(const sml_reading *r, void *ctx), void *ctx) {
	if (!fn)
		return SML_READINGS_NO_INPUT;
	sml_reading_cursor cursor;
	sml_reading_cursor_init(&cursor, file, len);
	sml_reading reading{};
	int calls = 0;
	// One walk over the whole file that calls fn itself.
	int got = zelkor::detail::walk{cursor, reading}.drive([&] {
		calls++;
		return fn(&reading, ctx) != 0 || calls == INT_MAX;
	});
	return got < 0 ? zelkor::detail::not_started(got, file, len) : calls;
}

const char *sml_reading_reason_text(sml_reading_reason reason) {
	switch (reason) {
	case SML_READING_OK: return "readable";
	case SML_READING_BAD_ENTRY: return "entry is not a list of its fields";
	case SML_READING_BAD_OBJ_NAME: return "unreadable name";
	case SML_READING_BAD_STATUS: return "unreadable status";
	case SML_READING_BAD_VAL_TIME: return "unreadable time";
	case SML_READING_BAD_UNIT: return "unreadable unit";
	case SML_READING_BAD_SCALER: return "unreadable scaler";
	case SML_READING_BAD_VALUE: return "unreadable value";
	case SML_READING_BAD_SIGNATURE: return "unreadable value signature";
	case SML_READING_BAD_PERIOD: return "unreadable profile period";
	case SML_READING_BAD_RESPONSE: return "unreadable response fields before the entries";
	case SML_READING_BROKEN: return "file structure broken";
	}
	return "unknown reason";
}

} // extern "C"
