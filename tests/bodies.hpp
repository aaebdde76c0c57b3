// Records of every body type, built by hand: the fixtures the body tests
// send through the transport and the fuzz targets start from.
#pragma once

#include <sml/sml_attention_response.h>
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_get_proc_parameter_request.h>
#include <sml/sml_get_proc_parameter_response.h>
#include <sml/sml_get_profile_list_request.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>
#include <sml/sml_set_proc_parameter_request.h>
#include <sml/sml_tree.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "sml_test.hpp"

namespace test {

template <class T> T *num(u64 v) {
	return static_cast<T *>(sml_number_init(v, std::is_signed_v<T> ? SML_TL_INTEGER : SML_TL_UNSIGNED, sizeof(T)));
}

inline sml_time *sec_index(u32 s) {
	sml_time *t = sml_time_init();
	t->tag = num<u8>(SML_TIME_SEC_INDEX);
	t->data.sec_index = num<u32>(s);
	return t;
}

inline sml_value *value_u32(u32 v) {
	sml_value *val = sml_value_init();
	val->type = SML_TL_UNSIGNED | 4;
	val->data.uint32 = num<u32>(v);
	return val;
}

inline sml_tree_path *path(std::initializer_list<std::string_view> names) {
	sml_tree_path *p = sml_tree_path_init();
	for (auto n : names)
		sml_tree_path_add_path_entry(p, test::octets(n));
	return p;
}

inline sml_period_entry *period(std::string_view obj, u32 v) {
	sml_period_entry *e = sml_period_entry_init();
	e->obj_name = test::octets(obj);
	e->unit = num<u8>(30);
	e->scaler = num<i8>(static_cast<u64>(-1));
	e->value = value_u32(v);
	return e;
}

inline sml_proc_par_value *ppv(u8 tag) {
	sml_proc_par_value *v = sml_proc_par_value_init();
	v->tag = num<u8>(tag);
	switch (tag) {
	case SML_PPV_VALUE:
		v->data.value = value_u32(42);
		break;
	case SML_PPV_PERIOD_ENTRY:
		v->data.period_entry = period("01 00 01 08 00 FF", 7);
		break;
	case SML_PPV_TUPEL_ENTRY:
		v->data.tupel_entry = sml_tupel_entry_init();
		v->data.tupel_entry->server_id = test::octets("0A 01");
		v->data.tupel_entry->status = num<u64>(3);
		v->data.tupel_entry->unit_pA = num<u8>(27);
		v->data.tupel_entry->value_pA = num<i64>(static_cast<u64>(-5));
		v->data.tupel_entry->signature_mA_R2_R3 = test::octets("EE");
		break;
	case SML_PPV_TIME:
		v->data.time = sec_index(3600);
		break;
	}
	return v;
}

// A root with one child per kind of parameter value, the last with a child of its own.
inline sml_tree *parameter_tree() {
	sml_tree *root = sml_tree_init();
	root->parameter_name = test::octets("81 81 C7 82 01 FF");
	for (u8 tag = SML_PPV_VALUE; tag <= SML_PPV_TIME; tag++) {
		sml_tree *child = sml_tree_init();
		child->parameter_name = test::octets("0" + std::to_string(tag));
		child->parameter_value = ppv(tag);
		sml_tree_add_tree(root, child);
	}
	sml_tree *grandchild = sml_tree_init();
	grandchild->parameter_name = test::octets("FF");
	sml_tree_add_tree(root->child_list[3], grandchild);
	return root;
}

inline sml_obj_req_entry_list *object_list(std::initializer_list<const char *> names) {
	sml_obj_req_entry_list *first = nullptr, **at = &first;
	for (const char *n : names) {
		*at = static_cast<sml_obj_req_entry_list *>(std::calloc(1, sizeof(sml_obj_req_entry_list)));
		(*at)->object_list_entry = n ? test::octets(n) : nullptr;
		at = &(*at)->next;
	}
	return first;
}

template <class T, void (*Free)(T *)> inline void release(void *p) { Free(static_cast<T *>(p)); }

inline sml_get_profile_pack_request *profile_request(std::initializer_list<const char *> objects) {
	auto *req = sml_get_profile_pack_request_init();
	req->server_id = test::octets("0A 01 49 53 4B 00 04 7A 55 12");
	req->with_rawdata = sml_boolean_init(0);
	req->begin_time = sec_index(1000);
	req->end_time = sec_index(2000);
	req->parameter_tree_path = path({"81 81 C7 86 20 FF"});
	req->object_list = object_list(objects);
	req->das_details = sml_tree_init();
	return req;
}

inline std::vector<std::pair<u32, void *>> every_body() {
	auto *open_req = sml_open_request_init();
	open_req->client_id = test::octets("01 02 03 04 05 06");
	open_req->req_file_id = test::octets("AA BB");
	open_req->sml_version = num<u8>(1);

	auto *open_resp = sml_open_response_init();
	open_resp->req_file_id = test::octets("AA BB");
	open_resp->server_id = test::octets("0A 01 49 53 4B 00 04 7A 55 12");
	open_resp->ref_time = sec_index(86400);

	auto *close_req = sml_close_request_init();
	auto *close_resp = sml_close_response_init();
	close_resp->global_signature = test::octets("51 52");

	auto *pack_resp = sml_get_profile_pack_response_init();
	pack_resp->server_id = test::octets("0A 01");
	pack_resp->act_time = sec_index(5000);
	pack_resp->reg_period = num<u32>(900);
	pack_resp->parameter_tree_path = path({"81 81 C7 86 20 FF"});
	pack_resp->header_list = sml_sequence_init(release<sml_prof_obj_header_entry, sml_prof_obj_header_entry_free>);
	for (const char *obj : {"01 00 01 08 00 FF", "01 00 02 08 00 FF"}) {
		auto *h = sml_prof_obj_header_entry_init();
		h->obj_name = test::octets(obj);
		h->unit = num<u8>(30);
		h->scaler = num<i8>(static_cast<u64>(-1));
		sml_sequence_add(pack_resp->header_list, h);
	}
	pack_resp->period_list = sml_sequence_init(release<sml_prof_obj_period_entry, sml_prof_obj_period_entry_free>);
	auto *pe = sml_prof_obj_period_entry_init();
	pe->val_time = sec_index(4100);
	pe->status = num<u64>(0x0100);
	pe->value_list = sml_sequence_init(release<sml_value_entry, sml_value_entry_free>);
	for (u32 v : {1234u, 5678u}) {
		auto *ve = sml_value_entry_init();
		ve->value = value_u32(v);
		sml_sequence_add(pe->value_list, ve);
	}
	sml_sequence_add(pack_resp->period_list, pe);
	pack_resp->rawdata = test::octets("00 11 22");

	auto *list_resp = sml_get_profile_list_response_init();
	list_resp->server_id = test::octets("0A 01");
	list_resp->reg_period = num<u32>(900);
	list_resp->val_time = sec_index(4100);
	list_resp->status = num<u64>(5);
	list_resp->period_list = sml_sequence_init(release<sml_period_entry, sml_period_entry_free>);
	sml_sequence_add(list_resp->period_list, period("01 00 01 08 00 FF", 1234));
	sml_sequence_add(list_resp->period_list, nullptr);
	list_resp->period_signature = test::octets("AB CD");

	auto *get_req = sml_get_proc_parameter_request_init();
	get_req->server_id = test::octets("0A 01");
	get_req->username = test::octets("75 73 65 72");
	get_req->password = test::octets("70 77");
	get_req->parameter_tree_path = path({"81 81 C7 82 01 FF", "01"});
	get_req->attribute = test::octets("02");

	auto *get_resp = sml_get_proc_parameter_response_init();
	get_resp->server_id = test::octets("0A 01");
	get_resp->parameter_tree_path = path({"81 81 C7 82 01 FF"});
	get_resp->parameter_tree = parameter_tree();

	auto *set_req = sml_set_proc_parameter_request_init();
	set_req->parameter_tree_path = path({}); // present, without names
	set_req->parameter_tree = parameter_tree();

	auto *get_list_req = sml_get_list_request_init();
	get_list_req->list_name = test::octets("01 00 62 0A FF FF");

	auto *get_list_resp = sml_get_list_response_init();
	get_list_resp->server_id = test::octets("0A 01");
	get_list_resp->val_list = sml_list_init();
	get_list_resp->val_list->obj_name = test::octets("01 00 01 08 00 FF");
	get_list_resp->val_list->unit = num<u8>(30);
	get_list_resp->val_list->scaler = num<i8>(static_cast<u64>(-1));
	get_list_resp->val_list->value = value_u32(987);

	auto *attention = sml_attention_response_init();
	attention->server_id = test::octets("0A 01");
	attention->attention_number = test::octets("81 81 C7 C7 FE 00");
	attention->attention_message = test::octets("4F 4B");
	attention->attention_details = parameter_tree();

	return {
		{SML_BODY_OPEN_REQUEST, open_req},
		{SML_BODY_OPEN_RESPONSE, open_resp},
		{SML_BODY_CLOSE_REQUEST, close_req},
		{SML_BODY_CLOSE_RESPONSE, close_resp},
		{SML_BODY_GET_PROFILE_PACK_REQUEST, profile_request({"01 00 01 08 00 FF", nullptr})},
		{SML_BODY_GET_PROFILE_PACK_RESPONSE, pack_resp},
		{SML_BODY_GET_PROFILE_LIST_REQUEST,
		 static_cast<sml_get_profile_list_request *>(profile_request({"01 00 02 08 00 FF"}))},
		{SML_BODY_GET_PROFILE_LIST_RESPONSE, list_resp},
		{SML_BODY_GET_PROC_PARAMETER_REQUEST, get_req},
		{SML_BODY_GET_PROC_PARAMETER_RESPONSE, get_resp},
		{SML_BODY_SET_PROC_PARAMETER_REQUEST, set_req},
		{SML_BODY_GET_LIST_REQUEST, get_list_req},
		{SML_BODY_GET_LIST_RESPONSE, get_list_resp},
		{SML_BODY_ATTENTION_RESPONSE, attention},
	};
}

// The messages of every_body in one file.
inline sml_file *every_body_file() {
	sml_file *file = sml_file_init();
	for (auto [tag, data] : every_body()) {
		sml_message *msg = sml_message_init();
		msg->group_id = num<u8>(0);
		msg->abort_on_error = num<u8>(0);
		msg->message_body = sml_message_body_init(tag, data);
		sml_file_add_message(file, msg);
	}
	return file;
}

} // namespace test
