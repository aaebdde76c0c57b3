/* Attention response body (tag 0xFF01), a list of 4: a numbered notice with
 * which a server answers a request. The number is an octet string, not an
 * integer. The record owns every field, the whole details tree included. */
#ifndef SML_ATTENTION_RESPONSE_H
#define SML_ATTENTION_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_tree.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *server_id;
	octet_string *attention_number;
	octet_string *attention_message;
	sml_tree *attention_details;
} sml_attention_response;

sml_attention_response *sml_attention_response_init(void);
sml_attention_response *sml_attention_response_parse(sml_buffer *buf);
void sml_attention_response_write(sml_attention_response *msg, sml_buffer *buf);
void sml_attention_response_free(sml_attention_response *msg);

#ifdef __cplusplus
}
#endif

#endif
