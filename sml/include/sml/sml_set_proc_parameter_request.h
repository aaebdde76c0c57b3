/* SetProcParameter request body (tag 0x0600), a list of 5: a parameter tree
 * to be stored at a path. The record owns every field, the whole path and
 * the whole tree included. */
#ifndef SML_SET_PROC_PARAMETER_REQUEST_H
#define SML_SET_PROC_PARAMETER_REQUEST_H

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
	sml_tree *parameter_tree;
} sml_set_proc_parameter_request;

sml_set_proc_parameter_request *sml_set_proc_parameter_request_init(void);
sml_set_proc_parameter_request *sml_set_proc_parameter_request_parse(sml_buffer *buf);
void sml_set_proc_parameter_request_write(sml_set_proc_parameter_request *msg, sml_buffer *buf);
void sml_set_proc_parameter_request_free(sml_set_proc_parameter_request *msg);

#ifdef __cplusplus
}
#endif

#endif
