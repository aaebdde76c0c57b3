/* Profile-pack request body (tag 0x0300), a list of 9: asks for the periods
 * of a profile between two times. The profile-list request (tag 0x0400) is
 * the same record under a second name (sml_get_profile_list_request.h) and
 * uses these same functions.
 *
 * Ownership: the record owns every field: the path, the details tree and the
 * whole object list chain. The chain's nodes are plain heap blocks (malloc or
 * calloc) that the request releases with free(), each after its entry. */
#ifndef SML_GET_PROFILE_PACK_REQUEST_H
#define SML_GET_PROFILE_PACK_REQUEST_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_boolean.h>
#include <sml/sml_time.h>
#include <sml/sml_tree.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The name of one requested object. */
typedef octet_string sml_obj_req_entry;

/* One node of the object list; chain order is wire order. */
typedef struct sml_obj_req_entry_list_entry {
	sml_obj_req_entry *object_list_entry; /* NULL: written as the optional marker */
	struct sml_obj_req_entry_list_entry *next;
} sml_obj_req_entry_list_entry;

/* A pointer to the first node; NULL for an absent list, which is also how an
 * empty list (a list header of count 0) reads. */
typedef sml_obj_req_entry_list_entry sml_obj_req_entry_list;

typedef struct {
	octet_string *server_id;
	octet_string *username;
	octet_string *password;
	sml_boolean *with_rawdata;
	sml_time *begin_time;
	sml_time *end_time;
	sml_tree_path *parameter_tree_path;
	sml_obj_req_entry_list *object_list;
	sml_tree *das_details;
} sml_get_profile_pack_request;

sml_get_profile_pack_request *sml_get_profile_pack_request_init(void);
sml_get_profile_pack_request *sml_get_profile_pack_request_parse(sml_buffer *buf);
void sml_get_profile_pack_request_write(sml_get_profile_pack_request *msg, sml_buffer *buf);
void sml_get_profile_pack_request_free(sml_get_profile_pack_request *msg);

#ifdef __cplusplus
}
#endif

#endif
