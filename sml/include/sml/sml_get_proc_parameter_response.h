/* GetProcParameter response body (tag 0x0501), a list of 3: the parameter
 * tree found at a path. The record owns every field, the whole path and the
 * whole tree included. */
#ifndef SML_GET_PROC_PARAMETER_RESPONSE_H
#define SML_GET_PROC_PARAMETER_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_tree.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *server_id;
	sml_tree_path *parameter_tree_path;
	sml_tree *parameter_tree;
} sml_get_proc_parameter_response;

sml_get_proc_parameter_response *sml_get_proc_parameter_response_init(void);
sml_get_proc_parameter_response *sml_get_proc_parameter_response_parse(sml_buffer *buf);
void sml_get_proc_parameter_response_write(sml_get_proc_parameter_response *msg, sml_buffer *buf);
void sml_get_proc_parameter_response_free(sml_get_proc_parameter_response *msg);

#ifdef __cplusplus
}
#endif

#endif
