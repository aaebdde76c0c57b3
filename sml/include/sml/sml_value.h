/* The tagged scalar that carries a reading: an octet string, a boolean, a
 * signed or unsigned integer of the width the sender chose, or (SML 1.05) a
 * list-typed value.
 *
 * type is the wire type bits, ORed with the width in bytes for integers
 * (0x51..0x58, 0x61..0x68); a list-typed value (72 | tag | content, see
 * sml_list_type.h) has type SML_VALUE_LIST and data.list_type. The value owns
 * what data points to; a value read from the wire always holds non-NULL data. */
#ifndef SML_VALUE_H
#define SML_VALUE_H

#include <stdbool.h>
#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_number.h>
#include <sml/sml_boolean.h>
#include <sml/sml_list_type.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SML_VALUE_LIST 0x70

typedef struct {
	u8 type;
	union {
		sml_boolean *boolean;
		octet_string *bytes;
		i8 *int8;
		i16 *int16;
		i32 *int32;
		i64 *int64;
		u8 *uint8;
		u16 *uint16;
		u32 *uint32;
		u64 *uint64;
		sml_list_type *list_type;
	} data;
} sml_value;

/* type 0x00, NULL data. */
sml_value *sml_value_init(void);
/* An integer is held at the smallest width of 1, 2, 4 or 8 bytes that takes
 * its data bytes, however many type-length bytes announce them; one of 9 or
 * more data bytes fails with the error flag. */
sml_value *sml_value_parse(sml_buffer *buf);
void sml_value_write(sml_value *value, sml_buffer *buf);
void sml_value_free(sml_value *value);

/* Integers only; any other type gives a diagnostic (sml_set_diagnostic_handler) and 0.0.
 * An absent value, or one without data, gives 0.0. */
double sml_value_to_double(sml_value *value);
/* Octet-string values (type 0x00) only; any other type gives NULL. Returns the text, also stored in *result, to be
 * released with free(); NULL (and *result untouched) for an absent or empty
 * string. With mixed, leading bytes 0x21..0x7A are copied as characters and
 * the rest written as "xx " hexadecimal groups. */
char *sml_value_to_strhex(sml_value *value, char **result, bool mixed);

#ifdef __cplusplus
}
#endif

#endif
