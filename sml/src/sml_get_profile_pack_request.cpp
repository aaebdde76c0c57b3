// Profile-pack request, also the profile-list request:
//   79 | server_id | username | password | with_rawdata | begin_time | end_time
//      | parameter_tree_path | object_list (7n name ... or 01) | das_details
#include <sml/sml_get_profile_pack_request.h>

#include <cstdlib>
#include <memory>

#include "record.hpp"

using namespace zelkor::detail;

namespace {

void release_chain(sml_obj_req_entry_list *node) {
	while (node) {
		sml_obj_req_entry_list *next = node->next;
		sml_octet_string_free(node->object_list_entry);
		std::free(node);
		node = next;
	}
}

// A chain of nodes on the wire is a plain list of names, one per node.
struct object_list_codec {
	static sml_obj_req_entry_list *parse(sml_buffer *buf) {
		if (zelkor::detail::buf::optional_skipped(buf))
			return nullptr;
		if (zelkor::detail::buf::next_type(buf) != SML_TL_LIST) {
			buf->error = 1;
			return nullptr;
		}
		// Count 0 leaves the chain absent: an empty chain is never built.
		std::unique_ptr<sml_obj_req_entry_list, decltype(&release_chain)> first{nullptr, release_chain};
		sml_obj_req_entry_list *last = nullptr;
		int n = zelkor::detail::buf::next_length(buf);
		if (zelkor::detail::buf::failed(buf))
			return nullptr;
		for (int i = 0; i < n; i++) {
			// Linked in before it is filled, so a failing name releases it too.
			auto *node = static_cast<sml_obj_req_entry_list *>(std::calloc(1, sizeof(sml_obj_req_entry_list)));
			// Out of memory fails the parse as bad input would: by the flag.
			if (!node) {
				buf->error = 1;
				return nullptr;
			}
			if (last)
				last->next = node;
			else
				first.reset(node);
			last = node;
			node->object_list_entry = sml_octet_string_parse(buf);
			if (zelkor::detail::buf::failed(buf))
				return nullptr;
		}
		return first.release();
	}

	static void write(sml_obj_req_entry_list *list, sml_buffer *buf) {
		if (!list) {
			sml_buf_optional_write(buf);
			return;
		}
		unsigned n = 0;
		for (auto *node = list; node; node = node->next)
			n++;
		sml_buf_set_type_and_length(buf, SML_TL_LIST, n);
		for (auto *node = list; node; node = node->next)
			sml_octet_string_write(node->object_list_entry, buf);
	}

	static void release(sml_obj_req_entry_list *list) { release_chain(list); }
};

using layout = record<sml_get_profile_pack_request, absent::rejected,
		      field<&sml_get_profile_pack_request::server_id>,
		      field<&sml_get_profile_pack_request::username>,
		      field<&sml_get_profile_pack_request::password>,
		      field<&sml_get_profile_pack_request::with_rawdata, boolean_codec>,
		      field<&sml_get_profile_pack_request::begin_time>,
		      field<&sml_get_profile_pack_request::end_time>,
		      field<&sml_get_profile_pack_request::parameter_tree_path>,
		      field<&sml_get_profile_pack_request::object_list, object_list_codec>,
		      field<&sml_get_profile_pack_request::das_details>>;

} // namespace

ZELKOR_RECORD_API(sml_get_profile_pack_request, layout)
