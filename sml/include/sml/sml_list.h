/* The value list of a GetList response (a chain of entries) and the generic
 * sequence of records that only the caller knows.
 *
 * Ownership: a sequence owns its elements and releases each through
 * elem_free; a list is owned from its first entry, and sml_list_free releases
 * every entry from the given one to the end of the chain. */
#ifndef SML_LIST_H
#define SML_LIST_H

#include <sml/sml_shared.h>
#include <sml/sml_octet_string.h>
#include <sml/sml_number.h>
#include <sml/sml_status.h>
#include <sml/sml_time.h>
#include <sml/sml_value.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef u8 sml_unit;

typedef struct {
	void **elems;    /* exactly elems_len slots; a slot may be NULL */
	int elems_len;
	void (*elem_free)(void *elem);
} sml_sequence;

/* elem_free must be non-NULL for a sequence that will hold elements. NULL
 * when out of memory. */
sml_sequence *sml_sequence_init(void (*elem_free)(void *elem));
/* Appends new_entry (NULL allowed); the sequence takes ownership. When the
 * array cannot grow, new_entry is released with elem_free and elems_len
 * stays as it was. */
void sml_sequence_add(sml_sequence *seq, void *new_entry);
/* A sequence is mandatory: the optional marker fails like any non-list. */
sml_sequence *sml_sequence_parse(sml_buffer *buf, void *(*elem_parse)(sml_buffer *buf),
				 void (*elem_free)(void *elem));
void sml_sequence_write(sml_sequence *seq, sml_buffer *buf,
			void (*elem_write)(void *elem, sml_buffer *buf));
void sml_sequence_free(sml_sequence *seq);

typedef struct sml_list_entry {
	octet_string *obj_name;
	sml_status *status;
	sml_time *val_time;
	sml_unit *unit;
	i8 *scaler;
	sml_value *value;
	sml_signature *value_signature;
	struct sml_list_entry *next;
} sml_list_entry;

/* A list is a pointer to its first entry; NULL is both absent and empty. */
typedef sml_list_entry sml_list;

sml_list *sml_list_init(void);
/* Sets list->next to new_entry and nothing else: the old successor is
 * neither kept nor released. To append, pass the current last entry. */
void sml_list_add(sml_list *list, sml_list *new_entry);
sml_list *sml_list_entry_parse(sml_buffer *buf);
/* A header of count 0 reads as NULL without an error. */
sml_list *sml_list_parse(sml_buffer *buf);
/* Writes this one entry only; list must not be NULL. */
void sml_list_entry_write(sml_list *list, sml_buffer *buf);
void sml_list_write(sml_list *list, sml_buffer *buf);
/* Releases this one entry only, not its successors. */
void sml_list_entry_free(sml_list *list);
void sml_list_free(sml_list *list);

#ifdef __cplusplus
}
#endif

#endif
