// Profile-list response:
//   79 | server_id | act_time | reg_period (65) | parameter_tree_path | val_time | status (69)
//      | period_list (7n period entry ...) | rawdata | period_signature
// The list is mandatory; its entries may each be the optional marker.
#include <sml/sml_get_profile_list_response.h>

#include "record.hpp"

using namespace zelkor::detail;

namespace {

constexpr auto sml_period_entry_parse_ = erased_parse<sml_period_entry_parse>;
constexpr auto sml_period_entry_write_ = erased_write<sml_period_entry_write, sml_period_entry>;
constexpr auto sml_period_entry_free_ = erased_free<sml_period_entry_free, sml_period_entry>;

using layout = record<sml_get_profile_list_response, absent::rejected,
		      field<&sml_get_profile_list_response::server_id>,
		      field<&sml_get_profile_list_response::act_time>,
		      field<&sml_get_profile_list_response::reg_period>,
		      field<&sml_get_profile_list_response::parameter_tree_path>,
		      field<&sml_get_profile_list_response::val_time>,
		      field<&sml_get_profile_list_response::status>,
		      field<&sml_get_profile_list_response::period_list,
			    sequence_codec<sml_period_entry_parse_, sml_period_entry_write_, sml_period_entry_free_>>,
		      field<&sml_get_profile_list_response::rawdata>,
		      field<&sml_get_profile_list_response::period_signature>>;

} // namespace

ZELKOR_RECORD_API(sml_get_profile_list_response, layout)
