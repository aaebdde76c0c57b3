/* GetProcParameter request body (tag 0x0500), a list of 5: asks for the
 * parameter at a tree path, optionally for one attribute of it. The record
 * owns every field, the whole path included. */
#ifndef SML_GET_PROC_PARAMETER_REQUEST_H
#define SML_GET_PROC_PARAMETER_REQUEST_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_tree.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *server_id;
	octet_string *username;
	octet_string *password;
	sml_tree_path *parameter_tree_path;
	octet_string *attribute;
} sml_get_proc_parameter_request;

sml_get_proc_parameter_request *sml_get_proc_parameter_request_init(void);
sml_get_proc_parameter_request *sml_get_proc_parameter_request_parse(sml_buffer *buf);
void sml_get_proc_parameter_request_write(sml_get_proc_parameter_request *msg, sml_buffer *buf);
void sml_get_proc_parameter_request_free(sml_get_proc_parameter_request *msg);

#ifdef __cplusplus
}
#endif

#endif
