/* SML time: a tag and a 32-bit seconds index or timestamp, or a local
 * timestamp with its offsets.
 *
 *   72 | tag (62 tt) | sec_index or timestamp (65 xx xx xx xx)
 *   72 | 62 03 | 73 timestamp (65 ..) local_offset (53 ..) season_time_offset (53 ..)
 *
 * The time owns tag, data and the two offsets. A local timestamp (tag 3, a
 * list of three numbers, all present) keeps its UTC timestamp in
 * data.timestamp, so code that reads only the timestamp still works, and its
 * offsets in minutes in local_offset and season_time_offset; a time holding
 * either offset is written in that list form, every number at its full
 * width. A list of three under any other tag, or with a number absent, is
 * reported as a diagnostic and leaves data NULL, as older meters sent it; such a
 * time is written with the absent marker in place of its number, and that
 * form reads back as a time with NULL data. An inner list that does not
 * count three elements fails the parse (error flag set). A bare
 * unsigned number of up to four bytes in place of the whole two-element list
 * (sent by a widespread meter family) reads as tag 1 with that sec_index; it
 * is written back in the regular list form. */
#ifndef SML_TIME_H
#define SML_TIME_H

#include <sml/sml_shared.h>
#include <sml/sml_number.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SML_TIME_SEC_INDEX 0x01
#define SML_TIME_TIMESTAMP 0x02
#define SML_TIME_LOCAL_TIMESTAMP 0x03

typedef struct {
	u8 *tag;
	union {
		u32 *sec_index;
		u32 *timestamp;
	} data;
	/* Local timestamps only: minutes to add to the UTC timestamp for local
	 * time, and further minutes of daylight saving; NULL otherwise. */
	i16 *local_offset;
	i16 *season_time_offset;
} sml_time;

sml_time *sml_time_init(void);
sml_time *sml_time_parse(sml_buffer *buf);
void sml_time_write(sml_time *t, sml_buffer *buf);
void sml_time_free(sml_time *tme);

#ifdef __cplusplus
}
#endif

#endif
