/* Status word: an unsigned integer of the width the sender chose.
 * type is 0x60 ORed with the width (0x61, 0x62, 0x64, 0x68); the status owns
 * data. A status with NULL data is written as the optional marker. */
#ifndef SML_STATUS_H
#define SML_STATUS_H

#include <sml/sml_shared.h>
#include <sml/sml_number.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	u8 type;
	union {
		u8 *status8;
		u16 *status16;
		u32 *status32;
		u64 *status64;
	} data;
} sml_status;

/* type 0x60, NULL data. */
sml_status *sml_status_init(void);
/* A field of 9 or more data bytes fails with the error flag. */
sml_status *sml_status_parse(sml_buffer *buf);
void sml_status_write(sml_status *status, sml_buffer *buf);
void sml_status_free(sml_status *status);

#ifdef __cplusplus
}
#endif

#endif
