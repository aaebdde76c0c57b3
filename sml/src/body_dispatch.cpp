// The body dispatch table: one row per body tag.
#include "body_dispatch.hpp"

#include <algorithm>
#include <iterator>

#include <sml/sml_attention_response.h>
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_get_proc_parameter_request.h>
#include <sml/sml_get_proc_parameter_response.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_message.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>
#include <sml/sml_set_proc_parameter_request.h>

#include "record.hpp"

namespace zelkor::detail {
namespace {

template <class T, T *(*Parse)(sml_buffer *), void (*Write)(T *, sml_buffer *), void (*Free)(T *)>
constexpr body_ops row(u32 tag) {
	return {tag, erased_parse<Parse>, erased_write<Write, T>, erased_free<Free, T>};
}

#define ZELKOR_BODY(tag, T) row<T, T##_parse, T##_write, T##_free>(tag)

constexpr body_ops bodies[] = {
	ZELKOR_BODY(SML_BODY_OPEN_REQUEST, sml_open_request),
	ZELKOR_BODY(SML_BODY_OPEN_RESPONSE, sml_open_response),
	ZELKOR_BODY(SML_BODY_CLOSE_REQUEST, sml_close_request),
	ZELKOR_BODY(SML_BODY_CLOSE_RESPONSE, sml_close_response),
	ZELKOR_BODY(SML_BODY_GET_PROFILE_PACK_REQUEST, sml_get_profile_pack_request),
	ZELKOR_BODY(SML_BODY_GET_PROFILE_PACK_RESPONSE, sml_get_profile_pack_response),
	// The profile-list request is the profile-pack request's record.
	ZELKOR_BODY(SML_BODY_GET_PROFILE_LIST_REQUEST, sml_get_profile_pack_request),
	ZELKOR_BODY(SML_BODY_GET_PROFILE_LIST_RESPONSE, sml_get_profile_list_response),
	ZELKOR_BODY(SML_BODY_GET_PROC_PARAMETER_REQUEST, sml_get_proc_parameter_request),
	ZELKOR_BODY(SML_BODY_GET_PROC_PARAMETER_RESPONSE, sml_get_proc_parameter_response),
	ZELKOR_BODY(SML_BODY_SET_PROC_PARAMETER_REQUEST, sml_set_proc_parameter_request),
	ZELKOR_BODY(SML_BODY_GET_LIST_REQUEST, sml_get_list_request),
	ZELKOR_BODY(SML_BODY_GET_LIST_RESPONSE, sml_get_list_response),
	ZELKOR_BODY(SML_BODY_ATTENTION_RESPONSE, sml_attention_response),
};

} // namespace

const body_ops *find_body(u32 tag) {
	auto it = std::find_if(std::begin(bodies), std::end(bodies), [tag](const body_ops &b) { return b.tag == tag; });
	return it == std::end(bodies) ? nullptr : it;
}

} // namespace zelkor::detail
