/* DLMS unit codes and their symbols (UTF-8), as a GetList entry's unit
 * field carries them. Usable from C and C++; everything here is internal to
 * the including translation unit. */
#ifndef ZELKOR_EXAMPLES_UNIT_H
#define ZELKOR_EXAMPLES_UNIT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	unsigned char code;
	char *unit;
} dlms_unit_t;

/* The symbols are string literals: a C++ char * cannot point at one without a cast. */
#ifdef __cplusplus
#define DLMS_SYMBOL(text) const_cast<char *>(text)
#else
#define DLMS_SYMBOL(text) (text)
#endif

/* Codes 58 and 59 have no row; the final row (code 0) ends every search. */
static const dlms_unit_t dlms_units[] = {
	{1, DLMS_SYMBOL("a")},           {2, DLMS_SYMBOL("mo")},        {3, DLMS_SYMBOL("wk")},
	{4, DLMS_SYMBOL("d")},           {5, DLMS_SYMBOL("h")},         {6, DLMS_SYMBOL("min.")},
	{7, DLMS_SYMBOL("s")},           {8, DLMS_SYMBOL("°")},         {9, DLMS_SYMBOL("°C")},
	{10, DLMS_SYMBOL("currency")},   {11, DLMS_SYMBOL("m")},        {12, DLMS_SYMBOL("m/s")},
	{13, DLMS_SYMBOL("m³")},         {14, DLMS_SYMBOL("m³")},       {15, DLMS_SYMBOL("m³/h")},
	{16, DLMS_SYMBOL("m³/h")},       {17, DLMS_SYMBOL("m³/d")},     {18, DLMS_SYMBOL("m³/d")},
	{19, DLMS_SYMBOL("l")},          {20, DLMS_SYMBOL("kg")},       {21, DLMS_SYMBOL("N")},
	{22, DLMS_SYMBOL("Nm")},         {23, DLMS_SYMBOL("Pa")},       {24, DLMS_SYMBOL("bar")},
	{25, DLMS_SYMBOL("J")},          {26, DLMS_SYMBOL("J/h")},      {27, DLMS_SYMBOL("W")},
	{28, DLMS_SYMBOL("VA")},         {29, DLMS_SYMBOL("var")},      {30, DLMS_SYMBOL("Wh")},
	{31, DLMS_SYMBOL("VAh")},        {32, DLMS_SYMBOL("varh")},     {33, DLMS_SYMBOL("A")},
	{34, DLMS_SYMBOL("C")},          {35, DLMS_SYMBOL("V")},        {36, DLMS_SYMBOL("V/m")},
	{37, DLMS_SYMBOL("F")},          {38, DLMS_SYMBOL("Ω")},        {39, DLMS_SYMBOL("Ωm²/m")},
	{40, DLMS_SYMBOL("Wb")},         {41, DLMS_SYMBOL("T")},        {42, DLMS_SYMBOL("A/m")},
	{43, DLMS_SYMBOL("H")},          {44, DLMS_SYMBOL("Hz")},       {45, DLMS_SYMBOL("1/(Wh)")},
	{46, DLMS_SYMBOL("1/(varh)")},   {47, DLMS_SYMBOL("1/(VAh)")},  {48, DLMS_SYMBOL("V²h")},
	{49, DLMS_SYMBOL("A²h")},        {50, DLMS_SYMBOL("kg/s")},     {51, DLMS_SYMBOL("S, mho")},
	{52, DLMS_SYMBOL("K")},          {53, DLMS_SYMBOL("1/(V²h)")},  {54, DLMS_SYMBOL("1/(A²h)")},
	{55, DLMS_SYMBOL("1/m³")},       {56, DLMS_SYMBOL("%")},        {57, DLMS_SYMBOL("Ah")},
	{60, DLMS_SYMBOL("Wh/m³")},      {61, DLMS_SYMBOL("J/m³")},     {62, DLMS_SYMBOL("Mol %")},
	{63, DLMS_SYMBOL("g/m³")},       {64, DLMS_SYMBOL("Pa s")},     {253, DLMS_SYMBOL("(reserved)")},
	{254, DLMS_SYMBOL("(other)")},   {255, DLMS_SYMBOL("(unitless)")},
	{0, DLMS_SYMBOL("")},
};

/* NULL for code 0 and for codes without a row. */
static inline char *dlms_get_unit(unsigned char code) {
	for (const dlms_unit_t *u = dlms_units; u->code != 0; u++)
		if (u->code == code)
			return u->unit;
	return NULL;
}

#undef DLMS_SYMBOL

#ifdef __cplusplus
}
#endif

#endif
