/* Open response body (tag 0x0101), a list of 6. The record owns every field. */
#ifndef SML_OPEN_RESPONSE_H
#define SML_OPEN_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *codepage;
	octet_string *client_id;
	octet_string *req_file_id;
	octet_string *server_id;
	sml_time *ref_time;
	u8 *sml_version;
} sml_open_response;

sml_open_response *sml_open_response_init(void);
sml_open_response *sml_open_response_parse(sml_buffer *buf);
void sml_open_response_write(sml_open_response *msg, sml_buffer *buf);
void sml_open_response_free(sml_open_response *msg);

#ifdef __cplusplus
}
#endif

#endif
