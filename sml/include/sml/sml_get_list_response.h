/* GetList response body (tag 0x0701), a list of 7: the meter's readings.
 * The record owns every field; val_list is the whole chain of entries. */
#ifndef SML_GET_LIST_RESPONSE_H
#define SML_GET_LIST_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_time.h>
#include <sml/sml_list.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *client_id;
	octet_string *server_id;
	octet_string *list_name;
	sml_time *act_sensor_time;
	sml_list *val_list;
	sml_signature *list_signature;
	sml_time *act_gateway_time;
} sml_get_list_response;

sml_get_list_response *sml_get_list_response_init(void);
sml_get_list_response *sml_get_list_response_parse(sml_buffer *buf);
void sml_get_list_response_write(sml_get_list_response *msg, sml_buffer *buf);
void sml_get_list_response_free(sml_get_list_response *msg);

#ifdef __cplusplus
}
#endif

#endif
