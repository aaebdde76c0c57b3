/* DLMS unit codes and their symbols (UTF-8), as a GetList entry's unit
 * field carries them: the library's one table (sml/sml_units.h) under the
 * names obisdump has always used. Usable from C and C++. */
#ifndef ZELKOR_EXAMPLES_UNIT_H
#define ZELKOR_EXAMPLES_UNIT_H

#include <sml/sml_units.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef sml_unit_row dlms_unit_t;

/* Codes 58 and 59 have no row; the final row (code 0) ends every search. */
#define dlms_units sml_unit_rows

/* NULL for code 0 and for codes without a row. */
static inline char *dlms_get_unit(unsigned char code) {
#ifdef __cplusplus
	return const_cast<char *>(sml_unit_symbol(code));
#else
	return (char *)sml_unit_symbol(code);
#endif
}

#ifdef __cplusplus
}
#endif

#endif
