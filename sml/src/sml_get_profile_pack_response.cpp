// Profile-pack response and its entries:
//   response      78 | server_id | act_time | reg_period (65) | parameter_tree_path
//                    | header_list (7n header entry ...) | period_list (7n period entry ...)
//                    | rawdata | profile_signature
//   header entry  73 | obj_name | unit (62) | scaler (52)
//   period entry  74 | val_time | status (69) | value_list (7n value entry ...) | period_signature
//   value entry   72 | value | value_signature
// The lists are mandatory and so are their entries: the optional marker in
// place of either fails the parse.
#include <sml/sml_get_profile_pack_response.h>

#include "record.hpp"

using namespace zelkor::detail;

namespace {

using header_entry = record<sml_prof_obj_header_entry, absent::rejected,
			    field<&sml_prof_obj_header_entry::obj_name>,
			    field<&sml_prof_obj_header_entry::unit>,
			    field<&sml_prof_obj_header_entry::scaler>>;

using value_entry = record<sml_value_entry, absent::rejected,
			   field<&sml_value_entry::value>,
			   field<&sml_value_entry::value_signature>>;

} // namespace

ZELKOR_RECORD_API(sml_prof_obj_header_entry, header_entry)
ZELKOR_RECORD_API(sml_value_entry, value_entry)

namespace {

constexpr auto sml_prof_obj_header_entry_parse_ = erased_parse<sml_prof_obj_header_entry_parse>;
constexpr auto sml_prof_obj_header_entry_write_ =
	erased_write<sml_prof_obj_header_entry_write, sml_prof_obj_header_entry>;
constexpr auto sml_prof_obj_header_entry_free_ =
	erased_free<sml_prof_obj_header_entry_free, sml_prof_obj_header_entry>;

constexpr auto sml_value_entry_parse_ = erased_parse<sml_value_entry_parse>;
constexpr auto sml_value_entry_write_ = erased_write<sml_value_entry_write, sml_value_entry>;
constexpr auto sml_value_entry_free_ = erased_free<sml_value_entry_free, sml_value_entry>;

using period_entry = record<sml_prof_obj_period_entry, absent::rejected,
			    field<&sml_prof_obj_period_entry::val_time>,
			    field<&sml_prof_obj_period_entry::status>,
			    field<&sml_prof_obj_period_entry::value_list,
				  sequence_codec<sml_value_entry_parse_, sml_value_entry_write_,
						 sml_value_entry_free_>>,
			    field<&sml_prof_obj_period_entry::period_signature>>;

} // namespace

ZELKOR_RECORD_API(sml_prof_obj_period_entry, period_entry)

namespace {

constexpr auto sml_prof_obj_period_entry_parse_ = erased_parse<sml_prof_obj_period_entry_parse>;
constexpr auto sml_prof_obj_period_entry_write_ =
	erased_write<sml_prof_obj_period_entry_write, sml_prof_obj_period_entry>;
constexpr auto sml_prof_obj_period_entry_free_ =
	erased_free<sml_prof_obj_period_entry_free, sml_prof_obj_period_entry>;

using layout = record<sml_get_profile_pack_response, absent::rejected,
		      field<&sml_get_profile_pack_response::server_id>,
		      field<&sml_get_profile_pack_response::act_time>,
		      field<&sml_get_profile_pack_response::reg_period>,
		      field<&sml_get_profile_pack_response::parameter_tree_path>,
		      field<&sml_get_profile_pack_response::header_list,
			    sequence_codec<sml_prof_obj_header_entry_parse_, sml_prof_obj_header_entry_write_,
					   sml_prof_obj_header_entry_free_>>,
		      field<&sml_get_profile_pack_response::period_list,
			    sequence_codec<sml_prof_obj_period_entry_parse_, sml_prof_obj_period_entry_write_,
					   sml_prof_obj_period_entry_free_>>,
		      field<&sml_get_profile_pack_response::rawdata>,
		      field<&sml_get_profile_pack_response::profile_signature>>;

} // namespace

ZELKOR_RECORD_API(sml_get_profile_pack_response, layout)
