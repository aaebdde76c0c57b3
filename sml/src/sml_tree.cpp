// Parameter trees and what their nodes hold:
//   tree             73 | parameter_name | parameter_value | child_list (7n tree ... or 01)
//   tree path        7n | name ...
//   parameter value  72 | tag (62) | value, period entry, tupel entry or time, chosen by tag
//   period entry     75 | obj_name | unit | scaler | value | value_signature
//   tupel entry      F1 07 | server_id | sec_index | status
//                          | unit_pA | scaler_pA | value_pA | unit_R1 | scaler_R1 | value_R1
//                          | unit_R4 | scaler_R4 | value_R4 | signature_pA_R1_R4
//                          | unit_mA | scaler_mA | value_mA | unit_R2 | scaler_R2 | value_R2
//                          | unit_R3 | scaler_R3 | value_R3 | signature_mA_R2_R3
#include <sml/sml_tree.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "diagnostic.hpp"
#include "record.hpp"
#include "slots.hpp"

using namespace zelkor::detail;

namespace {

using period_entry = record<sml_period_entry, absent::accepted,
			    field<&sml_period_entry::obj_name>,
			    field<&sml_period_entry::unit>,
			    field<&sml_period_entry::scaler>,
			    field<&sml_period_entry::value>,
			    field<&sml_period_entry::value_signature>>;

using tupel_entry = record<sml_tupel_entry, absent::accepted,
			   field<&sml_tupel_entry::server_id>,
			   field<&sml_tupel_entry::sec_index>,
			   field<&sml_tupel_entry::status>,
			   field<&sml_tupel_entry::unit_pA>,
			   field<&sml_tupel_entry::scaler_pA>,
			   field<&sml_tupel_entry::value_pA>,
			   field<&sml_tupel_entry::unit_R1>,
			   field<&sml_tupel_entry::scaler_R1>,
			   field<&sml_tupel_entry::value_R1>,
			   field<&sml_tupel_entry::unit_R4>,
			   field<&sml_tupel_entry::scaler_R4>,
			   field<&sml_tupel_entry::value_R4>,
			   field<&sml_tupel_entry::signature_pA_R1_R4>,
			   field<&sml_tupel_entry::unit_mA>,
			   field<&sml_tupel_entry::scaler_mA>,
			   field<&sml_tupel_entry::value_mA>,
			   field<&sml_tupel_entry::unit_R2>,
			   field<&sml_tupel_entry::scaler_R2>,
			   field<&sml_tupel_entry::value_R2>,
			   field<&sml_tupel_entry::unit_R3>,
			   field<&sml_tupel_entry::scaler_R3>,
			   field<&sml_tupel_entry::value_R3>,
			   field<&sml_tupel_entry::signature_mA_R2_R3>>;

template <class T, void (*Free)(T *)> struct deleter {
	void operator()(T *p) const { Free(p); }
};
using owned_tree = std::unique_ptr<sml_tree, deleter<sml_tree, sml_tree_free>>;
using owned_path = std::unique_ptr<sml_tree_path, deleter<sml_tree_path, sml_tree_path_free>>;
using owned_ppv = std::unique_ptr<sml_proc_par_value, deleter<sml_proc_par_value, sml_proc_par_value_free>>;

// Calls f with the payload member the tag names; false for any other tag.
template <class F> bool with_payload(sml_proc_par_value *v, F &&f) {
	switch (*v->tag) {
	case SML_PPV_VALUE:
		f(v->data.value);
		return true;
	case SML_PPV_PERIOD_ENTRY:
		f(v->data.period_entry);
		return true;
	case SML_PPV_TUPEL_ENTRY:
		f(v->data.tupel_entry);
		return true;
	case SML_PPV_TIME:
		f(v->data.time);
		return true;
	}
	return false;
}

template <class P> using payload_codec = codec_of<std::remove_pointer_t<std::remove_reference_t<P>>>;

// The input decides how deep trees nest; the limit keeps the recursion, and
// with it the stack, small whatever the input holds.
sml_tree *parse_tree(sml_buffer *buf, int depth) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	if (depth > SML_TREE_MAX_DEPTH || !expect_list(buf, 3)) {
		buf->error = 1;
		return nullptr;
	}
	owned_tree tree{sml_tree_init()};
	// Out of memory fails the parse as bad input would: by the flag.
	if (!tree) {
		buf->error = 1;
		return nullptr;
	}
	tree->parameter_name = sml_octet_string_parse(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	// A value whose payload failed comes back anyway and goes with the node.
	tree->parameter_value = sml_proc_par_value_parse(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	if (zelkor::detail::buf::optional_skipped(buf))
		return tree.release();
	if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST) {
		buf->error = 1;
		return nullptr;
	}
	// Every child takes at least one byte, so a count the input cannot back
	// ends at the end of the bytes, not in memory reserved for it.
	gathered<sml_tree> children{sml_tree_free};
	int n = zelkor::detail::buf::next_length(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	for (int i = 0; i < n; i++) {
		sml_tree *child = parse_tree(buf, depth + 1);
		if (zelkor::detail::buf::failed(buf))
			return nullptr;
		if (child && !children.add(child)) {
			buf->error = 1;
			return nullptr;
		}
	}
	children.hand_to(tree->child_list, tree->child_list_len);
	return tree.release();
}

} // namespace

ZELKOR_RECORD_API(sml_period_entry, period_entry)
ZELKOR_RECORD_API(sml_tupel_entry, tupel_entry)

extern "C" {

sml_tree_path *sml_tree_path_init(void) {
	return static_cast<sml_tree_path *>(std::calloc(1, sizeof(sml_tree_path)));
}

void sml_tree_path_add_path_entry(sml_tree_path *tree_path, octet_string *entry) {
	append(tree_path->path_entries, tree_path->path_entries_len, entry, sml_octet_string_free);
}

sml_tree_path *sml_tree_path_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST) {
		buf->error = 1;
		return nullptr;
	}
	owned_path path{sml_tree_path_init()};
	// Out of memory fails the parse as bad input would: by the flag.
	if (!path) {
		buf->error = 1;
		return nullptr;
	}
	gathered<octet_string> names{sml_octet_string_free};
	int n = zelkor::detail::buf::next_length(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	for (int i = 0; i < n; i++) {
		octet_string *name = sml_octet_string_parse(buf);
		if (zelkor::detail::buf::failed(buf))
			return nullptr;
		if (name && !names.add(name)) {
			buf->error = 1;
			return nullptr;
		}
	}
	names.hand_to(path->path_entries, path->path_entries_len);
	return path.release();
}

void sml_tree_path_write(sml_tree_path *tree_path, sml_buffer *buf) {
	if (!tree_path) {
		sml_buf_optional_write(buf);
		return;
	}
	// Count 0 for a path without names: the enclosing record counts the
	// path as one field, so one item has to stand in its place. An empty
	// name goes on the wire as the optional marker, which readers drop.
	auto written = [](const octet_string *name) { return name && name->len > 0; };
	auto names = std::span(tree_path->path_entries, static_cast<size_t>(std::max(tree_path->path_entries_len, 0)));
	sml_buf_set_type_and_length(buf, SML_TL_LIST, static_cast<unsigned>(std::count_if(names.begin(), names.end(), written)));
	for (octet_string *name : names)
		if (written(name))
			sml_octet_string_write(name, buf);
}

void sml_tree_path_free(sml_tree_path *tree_path) {
	if (!tree_path)
		return;
	for (int i = 0; i < tree_path->path_entries_len; i++)
		sml_octet_string_free(tree_path->path_entries[i]);
	std::free(tree_path->path_entries);
	std::free(tree_path);
}

sml_tree *sml_tree_init(void) { return static_cast<sml_tree *>(std::calloc(1, sizeof(sml_tree))); }

void sml_tree_add_tree(sml_tree *base_tree, sml_tree *tree) {
	append(base_tree->child_list, base_tree->child_list_len, tree, sml_tree_free);
}

sml_tree *sml_tree_parse(sml_buffer *buf) { return parse_tree(buf, 1); }

void sml_tree_write(sml_tree *tree, sml_buffer *buf) {
	if (!tree) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_LIST, 3);
	sml_octet_string_write(tree->parameter_name, buf);
	sml_proc_par_value_write(tree->parameter_value, buf);
	if (!tree->child_list || tree->child_list_len <= 0) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_LIST, static_cast<unsigned>(tree->child_list_len));
	for (int i = 0; i < tree->child_list_len; i++)
		sml_tree_write(tree->child_list[i], buf);
}

void sml_tree_free(sml_tree *tree) {
	if (!tree)
		return;
	sml_octet_string_free(tree->parameter_name);
	sml_proc_par_value_free(tree->parameter_value);
	for (int i = 0; i < tree->child_list_len; i++)
		sml_tree_free(tree->child_list[i]);
	std::free(tree->child_list);
	std::free(tree);
}

sml_proc_par_value *sml_proc_par_value_init(void) {
	return static_cast<sml_proc_par_value *>(std::calloc(1, sizeof(sml_proc_par_value)));
}

sml_proc_par_value *sml_proc_par_value_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	if (!expect_list(buf, 2))
		return nullptr;
	owned_ppv v{sml_proc_par_value_init()};
	// Out of memory fails the parse as bad input would: by the flag.
	if (!v) {
		buf->error = 1;
		return nullptr;
	}
	v->tag = codec_of<u8>::parse(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	// Without a tag the payload cannot be read; it is not touched.
	if (!v->tag || !with_payload(v.get(), [buf](auto &p) { p = payload_codec<decltype(p)>::parse(buf); })) {
		buf->error = 1;
		return nullptr;
	}
	// A failed payload leaves the flag set and the value with its tag; the
	// caller releases it together with its own record.
	return v.release();
}

void sml_proc_par_value_write(sml_proc_par_value *value, sml_buffer *buf) {
	if (!value) {
		sml_buf_optional_write(buf);
		return;
	}
	sml_buf_set_type_and_length(buf, SML_TL_LIST, 2);
	codec_of<u8>::write(value->tag, buf);
	if (!value->tag || !with_payload(value, [buf](auto &p) { payload_codec<decltype(p)>::write(p, buf); }))
		zelkor::detail::diag("zelkor: error: unknown tag in %s", __func__);
}

void sml_proc_par_value_free(sml_proc_par_value *ppv) {
	if (!ppv)
		return;
	if (!ppv->tag || !with_payload(ppv, [](auto &p) { payload_codec<decltype(p)>::release(p); })) {
		// No tag names the payload's type: all it can be released as is memory.
		void *payload;
		std::memcpy(&payload, &ppv->data, sizeof payload);
		std::free(payload);
	}
	sml_number_free(ppv->tag);
	std::free(ppv);
}

} // extern "C"
