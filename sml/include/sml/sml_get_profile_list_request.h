/* Profile-list request body (tag 0x0400): the profile-pack request under a
 * second name, read, written and released by the sml_get_profile_pack_request
 * functions. */
#ifndef SML_GET_PROFILE_LIST_REQUEST_H
#define SML_GET_PROFILE_LIST_REQUEST_H

#include <sml/sml_get_profile_pack_request.h>

typedef sml_get_profile_pack_request sml_get_profile_list_request;

#endif
