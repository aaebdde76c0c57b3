// zelkor for C++20: a header-only layer over the C API of the library.
//
//   for (const zelkor::reading &r : zelkor::readings(frame_bytes))
//       if (auto v = r.number())
//           std::cout << r.obis()->to_string() << " " << v->to_string() << " " << r.unit_symbol().value_or("") << "\n";
//
// - readings(bytes): the readings of an SML file (sml_reading.h) as an input
//   range. It allocates nothing, per reading or otherwise, and copies no
//   bytes: every view in a reading points into the bytes given, which must
//   outlive the readings (a temporary container is refused for that reason).
//   for_each_reading does the same walk with a callback.
// - decoder: the stream decoder (sml_stream.h) over the caller's area, with
//   lambdas for frames and drops. for_each_capture_reading: every reading of
//   every good frame in bytes holding transport frames (sml_capture.h).
// - obis_code: the six bytes of an OBIS identifier, read from and written as
//   "1-0:1.8.0*255".
// - decimal: an integer times ten to a power, exact; to_string prints it
//   without floating point ("0.987", "123450.0").
// - unit_symbol: the DLMS unit table of the library (sml_units.h).
// - obis_name: English names of common OBIS codes (sml_obis.h).
// - owned<T>, file_ptr: std::unique_ptr for the records of the tree API, with
//   the record's own _free as deleter, so that no caller frees by hand.
//
// Threads: nothing here has state of its own; what the C API says holds.
// Exceptions: nothing here throws but std::bad_alloc from the functions that
// return a std::string, and whatever the caller's own callback throws, which
// for_each_reading, for_each_capture_reading and decoder carry past the C
// code and rethrow. The C API beneath throws nothing: out of memory there is
// a NULL, a flag or an empty owner. The header builds without exceptions too
// (-fno-exceptions), for firmware; the library (libzelkor) is the same
// either way.
#ifndef ZELKOR_ZELKOR_HPP
#define ZELKOR_ZELKOR_HPP

#include <array>
#include <charconv>
#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <sml/sml_attention_response.h>
#include <sml/sml_capture.h>
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_get_proc_parameter_request.h>
#include <sml/sml_get_proc_parameter_response.h>
#include <sml/sml_get_profile_list_request.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_list.h>
#include <sml/sml_list_type.h>
#include <sml/sml_message.h>
#include <sml/sml_obis.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>
#include <sml/sml_reading.h>
#include <sml/sml_set_proc_parameter_request.h>
#include <sml/sml_shared.h>
#include <sml/sml_status.h>
#include <sml/sml_stream.h>
#include <sml/sml_time.h>
#include <sml/sml_tree.h>
#include <sml/sml_units.h>
#include <sml/sml_value.h>

namespace zelkor {

// ---------------------------------------------------------------- OBIS codes

// An OBIS identifier A-B:C.D.E*F, six bytes as an entry's name carries them.
struct obis_code {
	std::array<unsigned char, 6> bytes{};

	constexpr obis_code() = default;
	constexpr obis_code(unsigned char a, unsigned char b, unsigned char c, unsigned char d, unsigned char e,
			    unsigned char f)
		: bytes{a, b, c, d, e, f} {}
	constexpr explicit obis_code(std::span<const unsigned char, 6> six) {
		for (size_t i = 0; i < 6; i++)
			bytes[i] = six[i];
	}

	// "A-B:C.D.E*F", each a number from 0 to 255; without "*F", F is 255.
	// Nothing for any other text.
	static constexpr std::optional<obis_code> parse(std::string_view text) {
		constexpr char separators[] = {'-', ':', '.', '.', '*'};
		obis_code code;
		size_t at = 0;
		for (size_t i = 0; i < 6; i++) {
			if (i == 5 && at == text.size()) {
				code.bytes[5] = 255;
				return code;
			}
			if (i > 0) {
				if (at >= text.size() || text[at] != separators[i - 1])
					return std::nullopt;
				at++;
			}
			unsigned value = 0;
			size_t digits = 0;
			for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4; at++, digits++)
				value = value * 10 + static_cast<unsigned>(text[at] - '0');
			if (digits == 0 || value > 255)
				return std::nullopt;
			code.bytes[i] = static_cast<unsigned char>(value);
		}
		if (at != text.size())
			return std::nullopt;
		return code;
	}

	// "1-0:1.8.0*255"
	std::string to_string() const {
		char text[24];
		char *out = text;
		constexpr char separators[] = {'-', ':', '.', '.', '*'};
		for (size_t i = 0; i < 6; i++) {
			if (i > 0)
				*out++ = separators[i - 1];
			out = std::to_chars(out, text + sizeof text, bytes[i]).ptr;
		}
		return std::string(text, out);
	}

	friend constexpr auto operator<=>(const obis_code &, const obis_code &) = default;
};

// The English name of a common OBIS code ("Energy import total" for
// 1-0:1.8.0*255), or nothing for a code outside the library's table
// (sml_obis.h).
inline std::optional<std::string_view> obis_name(const obis_code &code) {
	const char *name = sml_obis_name(code.bytes.data(), code.bytes.size());
	if (!name)
		return std::nullopt;
	return std::string_view(name);
}

// ------------------------------------------------------------ exact decimals

// The integer types a decimal takes: the standard signed and unsigned ones
// that hold no more than 64 bits, so that every value converts without loss.
// Not bool and not the character types, whose values are no numbers
// (decimal('7') would be 55), nor wider integers such as __int128, which
// would be cut to their low bits.
template <class T>
concept decimal_integer =
	sizeof(T) <= sizeof(uint64_t) &&
	(std::same_as<T, signed char> || std::same_as<T, short> || std::same_as<T, int> || std::same_as<T, long> ||
	 std::same_as<T, long long> || std::same_as<T, unsigned char> || std::same_as<T, unsigned short> ||
	 std::same_as<T, unsigned> || std::same_as<T, unsigned long> || std::same_as<T, unsigned long long>);

// An integer times ten to a power: a reading's number with its scaler, kept
// exact. Every 64-bit integer, signed or not, is held with any int as its
// scaler, and each operation has a defined result for all of them, also far
// beyond the -128 to 127 an SML entry can carry.
class decimal {
	uint64_t magnitude_ = 0;
	bool negative_ = false;
	int scaler_ = 0;

public:
	// The longest text of a scaler an SML entry can carry (-128 to 127): a
	// sign, 20 digits, "0." and 128 decimals or 127 zeros. Every other int is
	// a scaler too; text_size() tells how long its text is.
	static constexpr size_t max_chars = 1 + 20 + 2 + 128;

	constexpr decimal() = default;
	// Explicit, and only from a decimal_integer: decimal(1234500, -1),
	// decimal(r.value.u64, r.scaler).
	template <decimal_integer T>
	constexpr explicit decimal(T number, int scaler = 0) : scaler_(scaler) {
		if constexpr (std::is_signed_v<T>) {
			negative_ = number < 0;
			// The magnitude of the most negative number does not fit in T.
			magnitude_ = negative_ ? uint64_t{0} - static_cast<uint64_t>(static_cast<int64_t>(number))
					       : static_cast<uint64_t>(number);
		} else {
			magnitude_ = number;
		}
	}

	constexpr bool negative() const { return negative_ && magnitude_ != 0; }
	constexpr uint64_t magnitude() const { return magnitude_; }
	constexpr int scaler() const { return scaler_; }

	// The nearest double (ties to even), as strtod reads the exact text:
	// for display and arithmetic where exactness does not matter. Beyond the
	// range of double it is infinity or zero, with the number's sign.
	double to_double() const {
		// "digits" "e" scaler: a text from_chars rounds once, correctly.
		const layout l = lay_out();
		char text[1 + 20 + 1 + 11]; // a sign, the digits, "e" and an int
		char *out = text;
		if (l.sign)
			*out++ = '-';
		for (size_t i = 0; i < l.n; i++)
			*out++ = l.digits[i];
		*out++ = 'e';
		out = std::to_chars(out, text + sizeof text, scaler_).ptr;
		double v = 0;
		if (std::from_chars(text, out, v).ec == std::errc::result_out_of_range) {
			// Only a magnitude of at least 1 gets here: a positive scaler
			// overflows, a negative one underflows.
			v = scaler_ > 0 ? std::numeric_limits<double>::infinity() : 0.0;
			v = negative() ? -v : v;
		}
		return v;
	}

	// Writes the number with exactly max(0, -scaler) decimals; a positive
	// scaler appends zeros and no decimal point. Needs text_size() chars, at
	// most max_chars for a scaler from -128 to 127; like std::to_chars, gives
	// errc::value_too_large when they do not fit.
	constexpr std::to_chars_result to_chars(char *first, char *last) const {
		const layout l = lay_out();
		if (static_cast<size_t>(last - first) < l.size())
			return {last, std::errc::value_too_large};
		char *out = first;
		if (l.sign)
			*out++ = '-';
		if (l.n > l.decimals) {
			for (size_t i = 0; i < l.n - l.decimals; i++)
				*out++ = l.digits[i];
		} else {
			*out++ = '0';
		}
		for (size_t i = 0; i < l.zeros; i++)
			*out++ = '0';
		if (l.decimals) {
			*out++ = '.';
			for (size_t i = l.n; i < l.decimals; i++)
				*out++ = '0';
			for (size_t i = l.n > l.decimals ? l.n - l.decimals : 0; i < l.n; i++)
				*out++ = l.digits[i];
		}
		return {out, std::errc{}};
	}

	// The length of the text: a scaler far from 0 makes it as long as the
	// number is wide (1 at 200 is "1" and 200 zeros).
	constexpr size_t text_size() const { return lay_out().size(); }

	// 987 at -3 is "0.987", 1234500 at -1 "123450.0", 5 at 2 "500".
	std::string to_string() const {
		std::string text(text_size(), '\0');
		to_chars(text.data(), text.data() + text.size());
		return text;
	}

	// Equal in value: 1 at 0 equals 10 at -1.
	friend constexpr bool operator==(const decimal &a, const decimal &b) {
		auto [am, as] = a.normal();
		auto [bm, bs] = b.normal();
		return a.negative() == b.negative() && am == bm && (am == 0 || as == bs);
	}

private:
	// The parts of the text. Counts are size_t and the scaler's magnitude is
	// taken in 64 bits, so that no scaler, INT_MIN neither, overflows them.
	struct layout {
		char digits[20];
		size_t n;        // digits of the magnitude
		size_t decimals; // after the point
		size_t zeros;    // appended for a positive scaler
		bool sign;
		constexpr size_t size() const {
			size_t whole = n > decimals ? n - decimals : 1;
			return (sign ? 1 : 0) + whole + zeros + (decimals ? 1 + decimals : 0);
		}
	};
	constexpr layout lay_out() const {
		layout l{};
		uint64_t m = magnitude_;
		char reversed[20];
		do {
			reversed[l.n++] = static_cast<char>('0' + m % 10);
			m /= 10;
		} while (m != 0);
		for (size_t i = 0; i < l.n; i++)
			l.digits[i] = reversed[l.n - 1 - i];
		int64_t s = scaler_;
		l.decimals = s < 0 ? static_cast<size_t>(-s) : 0;
		l.zeros = s > 0 && magnitude_ != 0 ? static_cast<size_t>(s) : 0;
		l.sign = negative();
		return l;
	}

	struct normal_form {
		uint64_t magnitude;
		int64_t scaler; // the scaler and up to 19 more: beyond int near INT_MAX
	};
	// Without trailing zeros in the magnitude.
	constexpr normal_form normal() const {
		normal_form n{magnitude_, scaler_};
		while (n.magnitude != 0 && n.magnitude % 10 == 0) {
			n.magnitude /= 10;
			n.scaler++;
		}
		return n;
	}
};

// ---------------------------------------------------------------- unit symbols

// The DLMS symbol of a unit code ("Wh" for 30), or nothing without a row.
inline std::optional<std::string_view> unit_symbol(unsigned char code) {
	const char *symbol = sml_unit_symbol(code);
	if (!symbol)
		return std::nullopt;
	return std::string_view(symbol);
}

// ------------------------------------------------------------------ callbacks

namespace detail {

// Whether a caller's callback asks to stop: one that returns void never
// does, one that returns bool (or anything that converts to it) with true.
template <class F, class... Args> bool stops(F &f, Args &&...args) {
	if constexpr (std::is_void_v<std::invoke_result_t<F &, Args...>>) {
		f(std::forward<Args>(args)...);
		return false;
	} else {
		return static_cast<bool>(f(std::forward<Args>(args)...));
	}
}

// Carries an exception of a caller's callback past the C code that called
// it: call() returns 1 (stop) when the callback threw, rethrow() throws it
// again once the C call has returned. Without exceptions (-fno-exceptions)
// nothing can be thrown and both only pass through.
class carried {
#if defined(__cpp_exceptions)
	std::exception_ptr thrown_;
#endif

public:
	template <class G> int call(G &&g) noexcept {
#if defined(__cpp_exceptions)
		try {
			return g() ? 1 : 0;
		} catch (...) {
			thrown_ = std::current_exception();
			return 1;
		}
#else
		return g() ? 1 : 0;
#endif
	}
	void rethrow() {
#if defined(__cpp_exceptions)
		if (thrown_)
			std::rethrow_exception(std::exchange(thrown_, nullptr));
#endif
	}
};

} // namespace detail

// ------------------------------------------------------------------ readings

// One reading (sml_reading.h), with its fields as C++ types; the C fields
// stay at hand (the array obis as sml_reading::obis). The views point into
// the walked bytes.
struct reading : sml_reading {
	bool readable() const { return reason == SML_READING_OK; }
	// "unreadable value" and the like (sml_reading_reason_text).
	std::string_view reason_text() const { return sml_reading_reason_text(reason); }

	// The name as OBIS code, when it has exactly six bytes.
	std::optional<obis_code> obis() const {
		if (!(flags & SML_READING_HAS_OBIS))
			return std::nullopt;
		return obis_code(std::span<const unsigned char, 6>(sml_reading::obis));
	}
	std::span<const unsigned char> name_bytes() const { return view(name); }
	// The English name of the OBIS code, when the table has one.
	std::optional<std::string_view> obis_name() const {
		auto code = obis();
		return code ? zelkor::obis_name(*code) : std::nullopt;
	}
	std::optional<int> scale() const {
		return flags & SML_READING_HAS_SCALER ? std::optional<int>(scaler) : std::nullopt;
	}
	std::optional<unsigned char> unit_code() const {
		return flags & SML_READING_HAS_UNIT ? std::optional<unsigned char>(unit) : std::nullopt;
	}
	std::optional<std::string_view> unit_symbol() const {
		return flags & SML_READING_HAS_UNIT ? zelkor::unit_symbol(unit) : std::nullopt;
	}
	std::optional<uint64_t> status_word() const {
		return flags & SML_READING_HAS_STATUS ? std::optional<uint64_t>(status) : std::nullopt;
	}

	// An integer value scaled by its scaler (none counts as 0), exact.
	std::optional<decimal> number() const {
		int s = flags & SML_READING_HAS_SCALER ? scaler : 0;
		if (kind == SML_READING_SIGNED)
			return decimal(value.i64, s);
		if (kind == SML_READING_UNSIGNED)
			return decimal(value.u64, s);
		return std::nullopt;
	}
	std::optional<bool> boolean() const {
		return kind == SML_READING_BOOLEAN ? std::optional<bool>(value.boolean != 0) : std::nullopt;
	}
	// An octet-string value, or the encoded element of an unsupported one.
	std::span<const unsigned char> bytes() const {
		return kind == SML_READING_BYTES || kind == SML_READING_UNSUPPORTED ? view(value.bytes)
										  : std::span<const unsigned char>{};
	}
	std::optional<sml_reading_time> time() const {
		return kind == SML_READING_TIME ? std::optional<sml_reading_time>(value.time) : std::nullopt;
	}
	std::span<const unsigned char> server() const { return view(server_id); }
	std::span<const unsigned char> value_signature() const { return view(signature); }

private:
	static std::span<const unsigned char> view(const sml_bytes &b) { return {b.data, b.data ? b.len : 0}; }
};

// The readings of one SML file as an input range: each step runs the C walk
// to the next reading. Nothing is allocated. A borrowed range (its iterators
// refer to the bytes, not to the range object) and a common one (end() is an
// iterator too), so that std::ranges algorithms hand back iterators and
// containers are built from begin() and end(). The iterator is an input
// iterator in the C++17 sense as well; a single pass, like a stream's.
class reading_range {
	const unsigned char *file_;
	size_t len_;

public:
	class iterator {
		sml_reading_cursor cursor_{};
		reading current_{};
		int got_ = 0;

		friend class reading_range;
		iterator(const unsigned char *file, size_t len) {
			sml_reading_cursor_init(&cursor_, file, len);
			++*this;
		}
		bool at_end() const { return got_ <= 0; }

	public:
		using iterator_concept = std::input_iterator_tag;
		using iterator_category = std::input_iterator_tag;
		using value_type = reading;
		using difference_type = std::ptrdiff_t;
		using reference = const reading &;
		using pointer = const reading *;

		// What it++ returns: the reading it stood at, kept, so that *it++
		// reads as it does on any input iterator.
		class kept {
			reading r_;
			friend class iterator;
			explicit kept(const reading &r) : r_(r) {}

		public:
			const reading &operator*() const { return r_; }
			const reading *operator->() const { return &r_; }
		};

		// The end.
		iterator() = default;
		const reading &operator*() const { return current_; }
		const reading *operator->() const { return &current_; }
		iterator &operator++() {
			got_ = sml_reading_next(&cursor_, &current_);
			return *this;
		}
		kept operator++(int) {
			kept before(current_);
			++*this;
			return before;
		}
		// Ends are equal; others where the walk stands at the same place
		// (copies of one iterator).
		friend bool operator==(const iterator &a, const iterator &b) {
			if (a.at_end() || b.at_end())
				return a.at_end() == b.at_end();
			return a.cursor_.file == b.cursor_.file && a.cursor_.pos == b.cursor_.pos &&
			       a.cursor_.phase == b.cursor_.phase && a.cursor_.entry == b.cursor_.entry &&
			       a.current_.offset == b.current_.offset;
		}
		friend bool operator==(const iterator &it, std::default_sentinel_t) { return it.at_end(); }
	};

	reading_range(const unsigned char *file, size_t len) : file_(file), len_(len) {}

	iterator begin() const { return iterator(file_, len_); }
	iterator end() const { return {}; }

	// Why the range is empty although the bytes are not: what sml_readings
	// gives, SML_READINGS_TRANSPORT_FRAME for a whole transport frame (read
	// it with for_each_capture_reading or a decoder), SML_READINGS_NO_MESSAGE
	// for other bytes that open no SML file, or SML_READINGS_NO_INPUT; 0 when
	// they open one (or hold nothing but zero bytes). Walks up to the first
	// reading.
	int error() const {
		sml_reading_cursor c;
		sml_reading r;
		sml_reading_cursor_init(&c, file_, len_);
		int got = sml_reading_next(&c, &r);
		return got < 0 ? got : 0;
	}
	// Whether the bytes open an SML file at all: error() is 0.
	bool walkable() const { return error() == 0; }
};

} // namespace zelkor

// A reading_range is a pointer and a length into bytes it does not own.
template <> inline constexpr bool std::ranges::enable_borrowed_range<zelkor::reading_range> = true;

namespace zelkor {

inline reading_range readings(std::span<const unsigned char> file) { return {file.data(), file.size()}; }
inline reading_range readings(std::span<const std::byte> file) {
	return {reinterpret_cast<const unsigned char *>(file.data()), file.size()};
}
// A container given as a temporary dies at the end of the full expression,
// before a range-for takes its first step: readings(load(path)) would walk
// freed bytes. Refused; keep the bytes in a variable. Views of bytes owned
// elsewhere (std::span, also as a temporary) are taken.
template <std::ranges::range R>
	requires(!std::is_lvalue_reference_v<R> && !std::ranges::borrowed_range<R>)
reading_range readings(R &&file) = delete;

// Calls f(const reading &) for every reading; f may return bool, true to
// stop. Returns what sml_readings returns. An exception f throws stops the
// walk and is rethrown once the C walk has returned.
template <class F> int for_each_reading(std::span<const unsigned char> file, F &&f) {
	struct context {
		F &f;
		detail::carried thrown;
	} ctx{f, {}};
	int n = sml_readings(
		file.data(), file.size(),
		[](const sml_reading *r, void *p) -> int {
			auto *c = static_cast<context *>(p);
			return c->thrown.call([&] {
				reading each;
				static_cast<sml_reading &>(each) = *r;
				return detail::stops(c->f, each);
			});
		},
		&ctx);
	ctx.thrown.rethrow();
	return n;
}
template <class F> int for_each_reading(std::span<const std::byte> file, F &&f) {
	return for_each_reading(std::span<const unsigned char>(reinterpret_cast<const unsigned char *>(file.data()), file.size()),
				std::forward<F>(f));
}

// ------------------------------------------------- frames, drops, captures

// A frame the stream decoder found (sml_stream.h), with its bytes as spans.
// They live in the decoder's area: valid only during the callback.
struct stream_frame : sml_stream_frame {
	// The SML file, escapes taken out: what readings() and parse_file take.
	std::span<const unsigned char> file_bytes() const { return {file, file_len}; }
	// Start sequence, file, padding and end block, escapes taken out.
	std::span<const unsigned char> frame_bytes() const { return {sml_stream_frame::frame, frame_len}; }
	reading_range readings() const { return {file, file_len}; }
};

// Bytes the stream decoder dropped, and why.
struct stream_drop : sml_stream_drop {
	// "frame CRC does not match" and the like (sml_stream_drop_text).
	std::string_view reason_text() const { return sml_stream_drop_text(reason); }
};

// The drop callback of a caller who does not listen for drops.
struct ignore_drops {
	void operator()(const stream_drop &) const noexcept {}
};

// The stream decoder over the caller's area, calling lambdas:
//
//   std::array<unsigned char, 4096> area;   // the longest frame taken
//   zelkor::decoder d(area, [&](const zelkor::stream_frame &f) {
//           for (const zelkor::reading &r : f.readings()) ...;
//   }, [](const zelkor::stream_drop &drop) { log(drop.reason_text()); });
//   d.feed(bytes);   // as often as bytes arrive
//   d.finish();      // at the end of the input
//
// on_frame(const stream_frame &) and on_drop(const stream_drop &) may return
// void, or bool: true stops the call that reported the event, as a non-zero
// result does in C (see sml_stream_feed). An exception thrown by either
// stops it too and comes out of feed or finish once the C decoder has
// returned; the decoder stays usable, and taken() tells where to feed on.
// Neither copyable nor movable: the C state points at the area and at the
// decoder itself. Allocates nothing; one thread at a time, as sml_stream.h says.
template <class OnFrame, class OnDrop = ignore_drops> class decoder {
	sml_stream stream_;
	OnFrame on_frame_;
	OnDrop on_drop_;
	detail::carried thrown_;
	size_t taken_ = 0;

	static int frame_found(const sml_stream_frame *f, void *p) {
		auto *d = static_cast<decoder *>(p);
		return d->thrown_.call([&] {
			stream_frame each;
			static_cast<sml_stream_frame &>(each) = *f;
			return detail::stops(d->on_frame_, static_cast<const stream_frame &>(each));
		});
	}
	static int bytes_dropped(const sml_stream_drop *dropped, void *p) {
		auto *d = static_cast<decoder *>(p);
		return d->thrown_.call([&] {
			stream_drop each;
			static_cast<sml_stream_drop &>(each) = *dropped;
			return detail::stops(d->on_drop_, static_cast<const stream_drop &>(each));
		});
	}

public:
	// The area (at least 16 bytes) must outlive the decoder.
	decoder(std::span<unsigned char> area, OnFrame on_frame, OnDrop on_drop = OnDrop{})
		: on_frame_(std::move(on_frame)), on_drop_(std::move(on_drop)) {
		sml_stream_drop_fn drops = std::is_same_v<OnDrop, ignore_drops> ? nullptr : &bytes_dropped;
		sml_stream_init(&stream_, area.data(), area.size(), &frame_found, drops, this);
	}
	decoder(const decoder &) = delete;
	decoder &operator=(const decoder &) = delete;

	// False for a value that is no policy (the policy stays as it was).
	bool set_crc_policy(sml_stream_crc_policy policy) { return sml_stream_set_crc_policy(&stream_, policy) == 0; }

	// The bytes taken: all of them, unless a callback stopped the decoder;
	// then feed the rest again to go on (sml_stream_feed).
	size_t feed(std::span<const unsigned char> bytes) {
		taken_ = sml_stream_feed(&stream_, bytes.data(), bytes.size());
		thrown_.rethrow();
		return taken_;
	}
	size_t feed(std::span<const std::byte> bytes) {
		return feed(std::span<const unsigned char>(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()));
	}

	// What the last feed took, also when a callback threw.
	size_t taken() const { return taken_; }

	// The stream has ended: reports what is pending and starts a new one.
	// True when a callback stopped it (sml_stream_finish).
	bool finish() {
		int stopped = sml_stream_finish(&stream_);
		thrown_.rethrow();
		return stopped != 0;
	}
};

// Calls f for every reading of every good frame in a capture, bytes holding
// one or more transport frames (sml_capture.h), with the caller's area:
// f(const reading &, const stream_frame &), or f(const reading &) alone; and
// on_drop(const stream_drop &) for bytes in no good frame. Either may return
// bool, true to stop. Returns what sml_capture_readings returns: readings
// delivered, or SML_CAPTURE_NO_FRAME, SML_CAPTURE_NO_INPUT. An exception
// thrown by either stops the call and is rethrown once the C call has
// returned.
template <class F, class D = ignore_drops>
int for_each_capture_reading(std::span<const unsigned char> capture, std::span<unsigned char> area, F &&f,
			     D &&on_drop = D{}) {
	struct context {
		F &f;
		D &on_drop;
		detail::carried thrown;
	} ctx{f, on_drop, {}};
	sml_stream_drop_fn drops = nullptr;
	if constexpr (!std::is_same_v<std::remove_cvref_t<D>, ignore_drops>)
		drops = [](const sml_stream_drop *dropped, void *p) -> int {
			auto *c = static_cast<context *>(p);
			return c->thrown.call([&] {
				stream_drop each;
				static_cast<sml_stream_drop &>(each) = *dropped;
				return detail::stops(c->on_drop, static_cast<const stream_drop &>(each));
			});
		};
	int n = sml_capture_readings(
		capture.data(), capture.size(), area.data(), area.size(),
		[](const sml_reading *r, const sml_stream_frame *fr, void *p) -> int {
			auto *c = static_cast<context *>(p);
			return c->thrown.call([&] {
				reading each;
				static_cast<sml_reading &>(each) = *r;
				if constexpr (std::is_invocable_v<F &, const reading &, const stream_frame &>) {
					stream_frame where;
					static_cast<sml_stream_frame &>(where) = *fr;
					return detail::stops(c->f, static_cast<const reading &>(each),
							     static_cast<const stream_frame &>(where));
				} else {
					return detail::stops(c->f, static_cast<const reading &>(each));
				}
			});
		},
		drops, &ctx);
	ctx.thrown.rethrow();
	return n;
}
template <class F, class D = ignore_drops>
int for_each_capture_reading(std::span<const std::byte> capture, std::span<unsigned char> area, F &&f,
			     D &&on_drop = D{}) {
	return for_each_capture_reading(
		std::span<const unsigned char>(reinterpret_cast<const unsigned char *>(capture.data()), capture.size()),
		area, std::forward<F>(f), std::forward<D>(on_drop));
}

// ------------------------------------------------------- owners of records

// The release function of each record type of the tree API.
template <class T> struct release_of;

#define ZELKOR_RELEASE(T, fn)                                                                      \
	template <> struct release_of<T> {                                                         \
		static void release(T *p) noexcept { fn(p); }                                      \
	}

ZELKOR_RELEASE(sml_buffer, sml_buffer_free);
ZELKOR_RELEASE(octet_string, sml_octet_string_free);
ZELKOR_RELEASE(sml_value, sml_value_free);
ZELKOR_RELEASE(sml_list_type, sml_list_type_free);
ZELKOR_RELEASE(sml_time, sml_time_free);
ZELKOR_RELEASE(sml_status, sml_status_free);
ZELKOR_RELEASE(sml_list, sml_list_free); // the whole chain
ZELKOR_RELEASE(sml_sequence, sml_sequence_free);
ZELKOR_RELEASE(sml_tree, sml_tree_free);
ZELKOR_RELEASE(sml_tree_path, sml_tree_path_free);
ZELKOR_RELEASE(sml_proc_par_value, sml_proc_par_value_free);
ZELKOR_RELEASE(sml_period_entry, sml_period_entry_free);
ZELKOR_RELEASE(sml_tupel_entry, sml_tupel_entry_free);
ZELKOR_RELEASE(sml_message, sml_message_free);
ZELKOR_RELEASE(sml_message_body, sml_message_body_free);
ZELKOR_RELEASE(sml_file, sml_file_free);
ZELKOR_RELEASE(sml_open_request, sml_open_request_free);
ZELKOR_RELEASE(sml_open_response, sml_open_response_free);
ZELKOR_RELEASE(sml_close_request, sml_close_request_free); // and the close response
ZELKOR_RELEASE(sml_get_list_request, sml_get_list_request_free);
ZELKOR_RELEASE(sml_get_list_response, sml_get_list_response_free);
ZELKOR_RELEASE(sml_get_proc_parameter_request, sml_get_proc_parameter_request_free);
ZELKOR_RELEASE(sml_get_proc_parameter_response, sml_get_proc_parameter_response_free);
ZELKOR_RELEASE(sml_set_proc_parameter_request, sml_set_proc_parameter_request_free);
ZELKOR_RELEASE(sml_get_profile_pack_request, sml_get_profile_pack_request_free); // and the list request
ZELKOR_RELEASE(sml_get_profile_pack_response, sml_get_profile_pack_response_free);
ZELKOR_RELEASE(sml_get_profile_list_response, sml_get_profile_list_response_free);
ZELKOR_RELEASE(sml_prof_obj_header_entry, sml_prof_obj_header_entry_free);
ZELKOR_RELEASE(sml_prof_obj_period_entry, sml_prof_obj_period_entry_free);
ZELKOR_RELEASE(sml_value_entry, sml_value_entry_free);
ZELKOR_RELEASE(sml_attention_response, sml_attention_response_free);

#undef ZELKOR_RELEASE

template <class T> struct deleter {
	void operator()(T *p) const noexcept { release_of<T>::release(p); }
};

// A record of the tree API released with its own _free (NULL allowed, as
// every _free accepts it). For a record stored into a parent, release() it
// first: the parent owns it from then on.
template <class T> using owned = std::unique_ptr<T, deleter<T>>;

using file_ptr = owned<sml_file>;

// sml_file_parse on a copy of the bytes; empty only when out of memory.
inline file_ptr parse_file(std::span<const unsigned char> bytes) {
	return file_ptr(sml_file_parse(bytes.data(), bytes.size()));
}

// Takes ownership of what a C function returned: owned(sml_value_parse(buf)).
template <class T> owned<T> own(T *p) { return owned<T>(p); }

} // namespace zelkor

#endif
