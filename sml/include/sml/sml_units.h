/* DLMS unit codes and their symbols (UTF-8), as the unit field of a reading
 * carries them: 30 is "Wh", 27 "W", 255 "(unitless)".
 *
 * The table and the strings are constant and belong to the library; any
 * thread may read them at any time. */
#ifndef SML_UNITS_H
#define SML_UNITS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	unsigned char code;
	const char *unit;
} sml_unit_row;

#define SML_UNIT_ROWS 66

/* 65 units by ascending code, then a row with code 0 and an empty symbol that
 * ends every search. Codes 0, 58, 59 and 65 to 252 have no row; 13 and 14,
 * 15 and 16, 17 and 18 share their symbols. */
extern const sml_unit_row sml_unit_rows[SML_UNIT_ROWS];

/* The symbol of a unit code, or NULL for a code without a row. */
const char *sml_unit_symbol(unsigned char code);

#ifdef __cplusplus
}
#endif

#endif
