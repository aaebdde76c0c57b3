// Value lists (a chain of 7-field entries) and generic sequences.
#include <sml/sml_list.h>

#include <cstdlib>
#include <memory>

#include "record.hpp"
#include "slots.hpp"
#include "zeroed.hpp"

using namespace zelkor::detail;

namespace {

// One reading: 77 | obj_name | status | val_time | unit | scaler | value | value_signature.
// next is not on the wire.
using list_entry = record<sml_list_entry, absent::rejected,
			  field<&sml_list_entry::obj_name>,
			  field<&sml_list_entry::status>,
			  field<&sml_list_entry::val_time>,
			  field<&sml_list_entry::unit>,
			  field<&sml_list_entry::scaler>,
			  field<&sml_list_entry::value>,
			  field<&sml_list_entry::value_signature>>;

struct chain_deleter {
	void operator()(sml_list *l) const { sml_list_free(l); }
};

} // namespace

extern "C" {

sml_sequence *sml_sequence_init(void (*elem_free)(void *elem)) {
	auto *seq = zelkor::detail::zeroed<sml_sequence>();
	if (seq)
		seq->elem_free = elem_free;
	return seq;
}

void sml_sequence_add(sml_sequence *seq, void *new_entry) {
	append(seq->elems, seq->elems_len, new_entry, seq->elem_free);
}

sml_sequence *sml_sequence_parse(sml_buffer *buf, void *(*elem_parse)(sml_buffer *buf),
				 void (*elem_free)(void *elem)) {
	// Sequences stand in mandatory fields: the optional marker fails here.
	if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST) {
		buf->error = 1;
		return nullptr;
	}
	int n = zelkor::detail::buf::next_length(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	gathered<void> elems{elem_free};
	for (int i = 0; i < n; i++) {
		void *elem = elem_parse(buf);
		if (zelkor::detail::buf::failed(buf))
			return nullptr;
		// An absent element keeps its slot. Out of memory fails the parse
		// as bad input would: by the flag.
		if (!elems.add(elem)) {
			buf->error = 1;
			return nullptr;
		}
	}
	sml_sequence *seq = sml_sequence_init(elem_free);
	if (!seq) {
		buf->error = 1;
		return nullptr;
	}
	elems.hand_to(seq->elems, seq->elems_len);
	return seq;
}

void sml_sequence_write(sml_sequence *seq, sml_buffer *buf, void (*elem_write)(void *elem, sml_buffer *buf)) {
	if (!seq) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_LIST, static_cast<unsigned>(seq->elems_len));
	for (int i = 0; i < seq->elems_len; i++)
		elem_write(seq->elems[i], buf);
}

void sml_sequence_free(sml_sequence *seq) {
	if (!seq)
		return;
	for (int i = 0; i < seq->elems_len; i++)
		seq->elem_free(seq->elems[i]);
	std::free(seq->elems);
	std::free(seq);
}

sml_list *sml_list_init(void) { return list_entry::init(); }

void sml_list_add(sml_list *list, sml_list *new_entry) { list->next = new_entry; }

sml_list *sml_list_entry_parse(sml_buffer *buf) { return list_entry::parse(buf); }

sml_list *sml_list_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST) {
		buf->error = 1;
		return nullptr;
	}
	// A header of count 0 reads as an absent list.
	int n = zelkor::detail::buf::next_length(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	std::unique_ptr<sml_list, chain_deleter> first;
	sml_list *last = nullptr;
	for (int i = 0; i < n; i++) {
		sml_list *entry = sml_list_entry_parse(buf);
		if (zelkor::detail::buf::failed(buf))
			return nullptr;
		if (last)
			last->next = entry;
		else
			first.reset(entry);
		last = entry;
	}
	return first.release();
}

void sml_list_entry_write(sml_list *list, sml_buffer *buf) { list_entry::write(list, buf); }

void sml_list_write(sml_list *list, sml_buffer *buf) {
	if (!list) {
		sml_buf_optional_write(buf);
		return;
	}
	unsigned n = 0;
	for (sml_list *e = list; e; e = e->next)
		n++;
	sml_buf_set_type_and_length(buf, SML_TL_LIST, n);
	for (sml_list *e = list; e; e = e->next)
		sml_list_entry_write(e, buf);
}

void sml_list_entry_free(sml_list *list) { list_entry::release(list); }

void sml_list_free(sml_list *list) {
	while (list) {
		sml_list *next = list->next;
		sml_list_entry_free(list);
		list = next;
	}
}

} // extern "C"
