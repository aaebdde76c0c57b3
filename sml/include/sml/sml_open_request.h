/* Open request body (tag 0x0100), a list of 7. The record owns every field. */
#ifndef SML_OPEN_REQUEST_H
#define SML_OPEN_REQUEST_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *codepage;
	octet_string *client_id;
	octet_string *req_file_id;
	octet_string *server_id;
	octet_string *username;
	octet_string *password;
	u8 *sml_version;
} sml_open_request;

sml_open_request *sml_open_request_init(void);
sml_open_request *sml_open_request_parse(sml_buffer *buf);
void sml_open_request_write(sml_open_request *msg, sml_buffer *buf);
void sml_open_request_free(sml_open_request *msg);

#ifdef __cplusplus
}
#endif

#endif
