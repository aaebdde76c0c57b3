/* CRC-16 of messages and transport frames: FCS-16 of RFC 1662 with its two
 * bytes exchanged, so that storing the result high byte first puts it on the
 * wire in RFC 1662's order. */
#ifndef SML_CRC16_H
#define SML_CRC16_H

#include <sml/sml_shared.h>

#ifdef __cplusplus
extern "C" {
#endif

/* len must not be negative; 0 gives 0 without reading cp. */
u16 sml_crc16_calculate(unsigned char *cp, int len);

#ifdef __cplusplus
}
#endif

#endif
