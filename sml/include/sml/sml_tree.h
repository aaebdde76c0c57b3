/* Parameter trees: the node (sml_tree), the path to a node, the value a node
 * holds, and the period and tupel entries such a value may carry.
 *
 * Ownership: every record owns what its fields point to. A tree owns its
 * name, its value and all its children, recursively; a path owns its names;
 * a parameter value owns its tag and its payload. Arrays hold exactly as many
 * slots as their count says, and every append grows them by one slot.
 *
 * Depth: a tree read from the wire may nest at most SML_TREE_MAX_DEPTH levels
 * (a lone node is one level); deeper input is malformed and fails with the
 * error flag, whatever was built being released. Trees a caller builds are
 * trusted: writing and freeing them follow their depth, however deep. */
#ifndef SML_TREE_H
#define SML_TREE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_number.h>
#include <sml/sml_time.h>
#include <sml/sml_value.h>
#include <sml/sml_list.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SML_TREE_MAX_DEPTH 64

#define SML_PPV_VALUE 0x01
#define SML_PPV_PERIOD_ENTRY 0x02
#define SML_PPV_TUPEL_ENTRY 0x03
#define SML_PPV_TIME 0x04

typedef struct {
	int path_entries_len;
	octet_string **path_entries; /* NULL while the path is empty */
} sml_tree_path;

typedef struct {
	octet_string *obj_name;
	sml_unit *unit;
	i8 *scaler;
	sml_value *value;
	octet_string *value_signature;
} sml_period_entry;

/* Groups pA, R1, R4 are signed by signature_pA_R1_R4; mA, R2, R3 by
 * signature_mA_R2_R3. */
typedef struct {
	octet_string *server_id;
	sml_time *sec_index;
	u64 *status;
	sml_unit *unit_pA;
	i8 *scaler_pA;
	i64 *value_pA;
	sml_unit *unit_R1;
	i8 *scaler_R1;
	i64 *value_R1;
	sml_unit *unit_R4;
	i8 *scaler_R4;
	i64 *value_R4;
	octet_string *signature_pA_R1_R4;
	sml_unit *unit_mA;
	i8 *scaler_mA;
	i64 *value_mA;
	sml_unit *unit_R2;
	i8 *scaler_R2;
	i64 *value_R2;
	sml_unit *unit_R3;
	i8 *scaler_R3;
	i64 *value_R3;
	octet_string *signature_mA_R2_R3;
} sml_tupel_entry;

/* The member named by tag is the one in use. */
typedef struct {
	u8 *tag;
	union {
		sml_value *value;
		sml_period_entry *period_entry;
		sml_tupel_entry *tupel_entry;
		sml_time *time;
	} data;
} sml_proc_par_value;

typedef struct s_tree {
	octet_string *parameter_name;
	sml_proc_par_value *parameter_value;
	struct s_tree **child_list; /* NULL while the node has no children */
	int child_list_len;
} sml_tree;

sml_tree_path *sml_tree_path_init(void);
/* The path takes ownership of entry; when the array cannot grow, entry is
 * released and path_entries_len stays as it was. */
void sml_tree_path_add_path_entry(sml_tree_path *tree_path, octet_string *entry);
/* Absent names are dropped; a list header of count 0 gives a present, empty path. */
sml_tree_path *sml_tree_path_parse(sml_buffer *buf);
/* A present path without names is written as a list header of count 0.
 * Names that are NULL or empty are left out: both would be written as the
 * optional marker, which a reader drops, and the count would no longer
 * match what is read back. */
void sml_tree_path_write(sml_tree_path *tree_path, sml_buffer *buf);
void sml_tree_path_free(sml_tree_path *tree_path);

sml_tree *sml_tree_init(void);
/* base_tree takes ownership of tree; when the array cannot grow, tree is
 * released and child_list_len stays as it was. */
void sml_tree_add_tree(sml_tree *base_tree, sml_tree *tree);
/* Absent children are dropped. */
sml_tree *sml_tree_parse(sml_buffer *buf);
/* A node without children is written with the optional marker in their place. */
void sml_tree_write(sml_tree *tree, sml_buffer *buf);
void sml_tree_free(sml_tree *tree);

sml_proc_par_value *sml_proc_par_value_init(void);
/* A tag outside 1 to 4, or an absent tag, fails with the error flag and
 * NULL. When the payload fails, the value comes back with its tag, a NULL
 * payload and the error flag set: the caller releases it. */
sml_proc_par_value *sml_proc_par_value_parse(sml_buffer *buf);
/* A tag outside 1 to 4 (or none) is reported as a diagnostic; only the list header
 * and the tag are written then. */
void sml_proc_par_value_write(sml_proc_par_value *value, sml_buffer *buf);
/* A payload under an unknown tag is released as a plain block of memory. */
void sml_proc_par_value_free(sml_proc_par_value *ppv);

sml_period_entry *sml_period_entry_init(void);
sml_period_entry *sml_period_entry_parse(sml_buffer *buf);
void sml_period_entry_write(sml_period_entry *period, sml_buffer *buf);
void sml_period_entry_free(sml_period_entry *period);

sml_tupel_entry *sml_tupel_entry_init(void);
sml_tupel_entry *sml_tupel_entry_parse(sml_buffer *buf);
void sml_tupel_entry_write(sml_tupel_entry *tupel, sml_buffer *buf);
void sml_tupel_entry_free(sml_tupel_entry *tupel);

#ifdef __cplusplus
}
#endif

#endif
