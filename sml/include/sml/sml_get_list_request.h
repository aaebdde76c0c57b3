/* GetList request body (tag 0x0700), a list of 5. The record owns every field. */
#ifndef SML_GET_LIST_REQUEST_H
#define SML_GET_LIST_REQUEST_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *client_id;
	octet_string *server_id;
	octet_string *username;
	octet_string *password;
	octet_string *list_name;
} sml_get_list_request;

sml_get_list_request *sml_get_list_request_init(void);
sml_get_list_request *sml_get_list_request_parse(sml_buffer *buf);
void sml_get_list_request_write(sml_get_list_request *msg, sml_buffer *buf);
void sml_get_list_request_free(sml_get_list_request *msg);

#ifdef __cplusplus
}
#endif

#endif
