/* Close response body (tag 0x0201): the close request's record under a
 * second name; either's functions accept the other's records. */
#ifndef SML_CLOSE_RESPONSE_H
#define SML_CLOSE_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_close_request.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef sml_close_request sml_close_response;

sml_close_response *sml_close_response_init(void);
sml_close_response *sml_close_response_parse(sml_buffer *buf);
void sml_close_response_write(sml_close_response *msg, sml_buffer *buf);
void sml_close_response_free(sml_close_response *msg);

#ifdef __cplusplus
}
#endif

#endif
