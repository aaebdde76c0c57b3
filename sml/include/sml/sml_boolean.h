/* Booleans: a heap block of one byte; parsed as 0xFF or 0x00, any non-zero
 * byte counts as true. */
#ifndef SML_BOOLEAN_H
#define SML_BOOLEAN_H

#include <sml/sml_shared.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef u8 sml_boolean;

sml_boolean *sml_boolean_init(u8 b);
sml_boolean *sml_boolean_parse(sml_buffer *buf);
void sml_boolean_write(sml_boolean *boolean, sml_buffer *buf);
void sml_boolean_free(sml_boolean *b);

#ifdef __cplusplus
}
#endif

#endif
