/* SML time: a tag and a 32-bit seconds index or timestamp.
 *
 * The time owns tag and data. The list-of-three form some meters send in
 * place of the number is reported on stderr and leaves data NULL. A bare
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

typedef struct {
	u8 *tag;
	union {
		u32 *sec_index;
		u32 *timestamp;
	} data;
} sml_time;

sml_time *sml_time_init(void);
sml_time *sml_time_parse(sml_buffer *buf);
void sml_time_write(sml_time *t, sml_buffer *buf);
void sml_time_free(sml_time *tme);

#ifdef __cplusplus
}
#endif

#endif
