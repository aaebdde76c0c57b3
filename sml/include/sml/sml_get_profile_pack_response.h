/* Profile-pack response body (tag 0x0301), a list of 8: a header list that
 * describes every profile object once, then the periods, each with its own
 * list of value entries. The number of value entries of a period is not
 * compared with the number of header entries.
 *
 * Ownership: the record owns every field; each sequence owns its entries,
 * and a period entry owns its value list. The sequences read from the wire
 * release their entries with this module's own functions; a sequence a
 * caller builds for writing needs an elem_free that releases its entry type
 * (sml_prof_obj_header_entry_free, sml_prof_obj_period_entry_free or
 * sml_value_entry_free, wrapped to take a void *), and may hold no NULL
 * element. */
#ifndef SML_GET_PROFILE_PACK_RESPONSE_H
#define SML_GET_PROFILE_PACK_RESPONSE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_number.h>
#include <sml/sml_time.h>
#include <sml/sml_value.h>
#include <sml/sml_list.h>
#include <sml/sml_tree.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An element of header_list, a list of 3. */
typedef struct {
	octet_string *obj_name;
	sml_unit *unit;
	i8 *scaler;
} sml_prof_obj_header_entry;

/* An element of value_list, a list of 2. */
typedef struct {
	sml_value *value;
	sml_signature *value_signature;
} sml_value_entry;

/* An element of period_list, a list of 4. status is a plain 64-bit word. */
typedef struct {
	sml_time *val_time;
	u64 *status;
	sml_sequence *value_list; /* of sml_value_entry; mandatory on the wire */
	sml_signature *period_signature;
} sml_prof_obj_period_entry;

typedef struct {
	octet_string *server_id;
	sml_time *act_time;
	u32 *reg_period;
	sml_tree_path *parameter_tree_path;
	sml_sequence *header_list; /* of sml_prof_obj_header_entry; mandatory on the wire */
	sml_sequence *period_list; /* of sml_prof_obj_period_entry; mandatory on the wire */
	octet_string *rawdata;
	sml_signature *profile_signature;
} sml_get_profile_pack_response;

sml_get_profile_pack_response *sml_get_profile_pack_response_init(void);
sml_get_profile_pack_response *sml_get_profile_pack_response_parse(sml_buffer *buf);
void sml_get_profile_pack_response_write(sml_get_profile_pack_response *msg, sml_buffer *buf);
void sml_get_profile_pack_response_free(sml_get_profile_pack_response *msg);

sml_prof_obj_header_entry *sml_prof_obj_header_entry_init(void);
sml_prof_obj_header_entry *sml_prof_obj_header_entry_parse(sml_buffer *buf);
void sml_prof_obj_header_entry_write(sml_prof_obj_header_entry *entry, sml_buffer *buf);
void sml_prof_obj_header_entry_free(sml_prof_obj_header_entry *entry);

sml_prof_obj_period_entry *sml_prof_obj_period_entry_init(void);
sml_prof_obj_period_entry *sml_prof_obj_period_entry_parse(sml_buffer *buf);
void sml_prof_obj_period_entry_write(sml_prof_obj_period_entry *entry, sml_buffer *buf);
void sml_prof_obj_period_entry_free(sml_prof_obj_period_entry *entry);

sml_value_entry *sml_value_entry_init(void);
sml_value_entry *sml_value_entry_parse(sml_buffer *buf);
void sml_value_entry_write(sml_value_entry *entry, sml_buffer *buf);
void sml_value_entry_free(sml_value_entry *entry);

#ifdef __cplusplus
}
#endif

#endif
