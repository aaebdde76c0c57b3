/* Octet strings: length-counted bytes, and the hexadecimal helpers.
 *
 * Ownership: an octet_string owns its bytes; sml_octet_string_free releases
 * both. len is 0 exactly when str is NULL. A present empty string (len 0) is
 * not an absent one (a NULL pointer), but both are the byte 0x01 on the wire. */
#ifndef SML_OCTET_STRING_H
#define SML_OCTET_STRING_H

#include <sml/sml_shared.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	unsigned char *str;
	int len;
} octet_string;

typedef octet_string sml_signature;

/* Copies length bytes; length 0 or below gives an empty string and str is not
 * read. NULL when out of memory. */
octet_string *sml_octet_string_init(unsigned char *str, int length);
/* NULL for a text of odd length, or when out of memory. Non-hexadecimal
 * characters count as 0. */
octet_string *sml_octet_string_init_from_hex(char *str);
octet_string *sml_octet_string_parse(sml_buffer *buf);
void sml_octet_string_write(octet_string *str, sml_buffer *buf);
void sml_octet_string_free(octet_string *str);
/* -1 when the lengths differ, else memcmp of the contents. Both present. */
int sml_octet_string_cmp(octet_string *s1, octet_string *s2);
/* As sml_octet_string_cmp against the bytes of hex; -1 for hex of odd
 * length. Allocates nothing. */
int sml_octet_string_cmp_with_hex(octet_string *str, char *hex);
/* 16 random bytes from libuuid; NULL when out of memory. */
octet_string *sml_octet_string_generate_uuid(void);

uint8_t ctoi(uint8_t c);
uint8_t c2toi(uint8_t c1, uint8_t c2);
uint8_t c2ptoi(char *c);

#ifdef __cplusplus
}
#endif

#endif
