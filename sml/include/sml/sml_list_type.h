/* The list-typed value of SML 1.05 (SML_ListType): a choice between a time,
 * a timestamped value and a COSEM value, held by an sml_value of type
 * SML_VALUE_LIST.
 *
 *   72 | tag (62 tt) | content
 *
 * Tag 1 (SML_LIST_TYPE_TIME): the content is an SML time (a list, see
 * sml_time.h), read into data.time.
 * Tags 2 (SML_LIST_TYPE_TIMESTAMPED_VALUE) and 3 (SML_LIST_TYPE_COSEM_VALUE):
 * the layouts of their content are not read here. The content element is
 * checked only by its type-length structure (complete, every length in
 * bounds, any depth of nesting) and kept as its exact encoded bytes, type-
 * length fields included, in data.encoded; it is written back byte for byte.
 * Any other tag, or none, fails the parse.
 *
 * Ownership: the record owns tag and the member of data its tag names, and
 * sml_list_type_free releases them; without one of the three tags nothing
 * names data's type, and it is released as plain memory. */
#ifndef SML_LIST_TYPE_H
#define SML_LIST_TYPE_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_time.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SML_LIST_TYPE_TIME 0x01
#define SML_LIST_TYPE_TIMESTAMPED_VALUE 0x02
#define SML_LIST_TYPE_COSEM_VALUE 0x03

typedef struct {
	u8 *tag;
	union {
		sml_time *time;        /* tag 1 */
		octet_string *encoded; /* tags 2 and 3: the content element as encoded */
	} data;
} sml_list_type;

/* NULL tag and data. */
sml_list_type *sml_list_type_init(void);
/* NULL for the optional marker (no error) or on failure (error flag set). */
sml_list_type *sml_list_type_parse(sml_buffer *buf);
/* NULL as 0x01; a NULL or empty content as 0x01 in its place. */
void sml_list_type_write(sml_list_type *list_type, sml_buffer *buf);
void sml_list_type_free(sml_list_type *list_type);

#ifdef __cplusplus
}
#endif

#endif
