/* Profile-list response body (tag 0x0401), a list of 9: one period with its
 * time, status word and a list of period entries.
 *
 * Ownership: the record owns every field; period_list owns its entries. A
 * sequence read from the wire releases them with sml_period_entry_free; one
 * a caller builds for writing needs an elem_free that does the same (wrapped
 * to take a void *). Unlike the pack response's lists, period_list may hold
 * NULL elements: each is written as the optional marker. */
#ifndef SML_GET_PROFILE_LIST_RESPONSE_H
#define SML_GET_PROFILE_LIST_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_number.h>
#include <sml/sml_time.h>
#include <sml/sml_list.h>
#include <sml/sml_tree.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
	octet_string *server_id;
	sml_time *act_time;
	u32 *reg_period;
	sml_tree_path *parameter_tree_path;
	sml_time *val_time;
	u64 *status; /* a plain 64-bit word, not an sml_status */
	sml_sequence *period_list; /* of sml_period_entry; mandatory on the wire */
	octet_string *rawdata;
	sml_signature *period_signature;
} sml_get_profile_list_response;

sml_get_profile_list_response *sml_get_profile_list_response_init(void);
sml_get_profile_list_response *sml_get_profile_list_response_parse(sml_buffer *buf);
void sml_get_profile_list_response_write(sml_get_profile_list_response *msg, sml_buffer *buf);
void sml_get_profile_list_response_free(sml_get_profile_list_response *msg);

#ifdef __cplusplus
}
#endif

#endif
