/* Signed and unsigned integers of 1, 2, 4 or 8 bytes.
 *
 * A number is a heap block of exactly its width holding the value in host
 * byte order; the holder knows the width from its field type (u8 *, i64 *,
 * ...). The record that holds a number releases it with sml_number_free. */
#ifndef SML_NUMBER_H
#define SML_NUMBER_H

#include <sml/sml_shared.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The size low-order bytes of number; NULL when out of memory. type is unused. */
void *sml_number_init(u64 number, unsigned char type, int size);
/* type is SML_TL_INTEGER or SML_TL_UNSIGNED. Accepts 0 to max_size data bytes
 * and widens them to max_size, which is 1 to 8; NULL for the optional marker
 * (no error) or on failure (error flag set), also for a max_size outside 1 to 8
 * and when out of memory. */
void *sml_number_parse(sml_buffer *buf, unsigned char type, int max_size);
/* Always writes the full size bytes, most significant first; NULL as 0x01. */
void sml_number_write(void *np, unsigned char type, int size, sml_buffer *buf);
void sml_number_free(void *np);
void sml_number_byte_swap(unsigned char *bytes, int bytes_len);
/* 1 on a big-endian host, 0 otherwise. */
int sml_number_endian(void);

#ifdef __cplusplus
}
#endif

#endif
