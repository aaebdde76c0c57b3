/* English names of common OBIS codes, as a reading's six-byte name carries
 * them: 1-0:1.8.0*255 is "Energy import total", 1-0:16.7.0*255 "Active
 * power", 129-129:199.130.3*255 "Manufacturer".
 *
 * The table covers what household electricity meters send on their optical
 * port: energy import and export in total and per tariff (1 to 9), active
 * power in total and per phase, voltage, current, frequency, phase angles,
 * power factor, the meter's identifiers, firmware and status words. A code
 * matches a row on A, C, D, E and F; B (the channel) is not compared, so
 * 1-1:1.8.0*255 is named as 1-0:1.8.0*255. Historic values (F other than
 * the row's, usually 255) have no name.
 *
 * The table and its strings are constant and belong to the library; any
 * thread may read them at any time. Nothing is allocated. */
#ifndef SML_OBIS_H
#define SML_OBIS_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The name of the OBIS code in name[0, len), or NULL when len is not 6 (only
 * a six-byte name is an OBIS code), name is NULL, or the code has no row. */
const char *sml_obis_name(const unsigned char *name, size_t len);

#ifdef __cplusplus
}
#endif

#endif
