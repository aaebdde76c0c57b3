// Time: 72 | tag (62 tt) | sec_index or timestamp (65 xx xx xx xx)
//   or, local timestamp: 72 | 62 03 | 73 timestamp (65) local_offset (53) season_time_offset (53)
#include <sml/sml_time.h>

#include <cstdio>
#include <cstdlib>

#include "buffer.hpp"
#include "number.hpp"
#include "diagnostic.hpp"
#include "zeroed.hpp"

extern "C" {

sml_time *sml_time_init(void) { return zelkor::detail::zeroed<sml_time>(); }

// The list of three numbers (u32, i16, i16) in place of the single number.
// Under tag 3 with all three present it is a local timestamp and kept;
// otherwise it is reported and dropped, as before local timestamps were read.
// A list that does not count three elements is an error: reading three from
// it would take what follows it, or leave some of it, for the next field.
static void parse_time_list3(sml_buffer *buf, sml_time *tme) {
	if (zelkor::detail::buf::next_length(buf) != 3) {
		buf->error = 1;
		return;
	}
	auto *v0 = static_cast<u32 *>(zelkor::detail::parse_number(buf, SML_TL_UNSIGNED, 4));
	auto *v1 = zelkor::detail::buf::failed(buf) ? nullptr : static_cast<i16 *>(zelkor::detail::parse_number(buf, SML_TL_INTEGER, 2));
	auto *v2 = zelkor::detail::buf::failed(buf) ? nullptr : static_cast<i16 *>(zelkor::detail::parse_number(buf, SML_TL_INTEGER, 2));
	bool ok = !zelkor::detail::buf::failed(buf);
	if (ok && tme->tag && *tme->tag == SML_TIME_LOCAL_TIMESTAMP && v0 && v1 && v2) {
		tme->data.timestamp = v0;
		tme->local_offset = v1;
		tme->season_time_offset = v2;
		return;
	}
	if (ok)
		zelkor::detail::diag("zelkor: error: sml_time as list[3]: ignoring value[0]=%u value[1]=%d value[2]=%d",
			     v0 ? *v0 : 0u, v1 ? *v1 : 0, v2 ? *v2 : 0);
	sml_number_free(v0);
	sml_number_free(v1);
	sml_number_free(v2);
}

sml_time *sml_time_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	sml_time *tme = sml_time_init();
	// Out of memory fails the parse as bad input would: by the flag.
	if (!tme) {
		buf->error = 1;
		return nullptr;
	}
	if (zelkor::detail::buf::next_type(buf) == SML_TL_UNSIGNED) {
		// Some meters send a bare seconds index where the list belongs.
		tme->tag = static_cast<u8 *>(sml_number_init(SML_TIME_SEC_INDEX, SML_TL_UNSIGNED, 1));
		if (tme->tag)
			tme->data.sec_index = static_cast<u32 *>(zelkor::detail::parse_number(buf, SML_TL_UNSIGNED, 4));
		else
			buf->error = 1; // out of memory
	} else if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST || zelkor::detail::buf::next_length(buf) != 2) {
		buf->error = 1;
	} else {
		tme->tag = static_cast<u8 *>(zelkor::detail::parse_number(buf, SML_TL_UNSIGNED, 1));
		// An absent number is how a time without one (a dropped list of
		// three) is written; it reads back the same.
		if (!zelkor::detail::buf::failed(buf) && !zelkor::detail::buf::optional_skipped(buf)) {
			switch (zelkor::detail::buf::next_type(buf)) {
			case SML_TL_UNSIGNED:
				tme->data.sec_index = static_cast<u32 *>(zelkor::detail::parse_number(buf, SML_TL_UNSIGNED, 4));
				break;
			case SML_TL_LIST:
				parse_time_list3(buf, tme);
				break;
			default:
				buf->error = 1;
			}
		}
	}
	if (zelkor::detail::buf::failed(buf)) {
		sml_time_free(tme);
		return nullptr;
	}
	return tme;
}

void sml_time_write(sml_time *t, sml_buffer *buf) {
	if (!t) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_LIST, 2);
	sml_number_write(t->tag, SML_TL_UNSIGNED, 1, buf);
	if (t->local_offset || t->season_time_offset) {
		sml_buf_set_type_and_length(buf, SML_TL_LIST, 3);
		sml_number_write(t->data.timestamp, SML_TL_UNSIGNED, 4, buf);
		sml_number_write(t->local_offset, SML_TL_INTEGER, 2, buf);
		sml_number_write(t->season_time_offset, SML_TL_INTEGER, 2, buf);
		return;
	}
	sml_number_write(t->data.sec_index, SML_TL_UNSIGNED, 4, buf);
}

void sml_time_free(sml_time *tme) {
	if (!tme)
		return;
	sml_number_free(tme->tag);
	sml_number_free(tme->data.sec_index);
	sml_number_free(tme->local_offset);
	sml_number_free(tme->season_time_offset);
	std::free(tme);
}

} // extern "C"
