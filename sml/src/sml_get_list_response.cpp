// GetList response:
//   77 | client_id | server_id | list_name | act_sensor_time | val_list | list_signature | act_gateway_time
#include <sml/sml_get_list_response.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_get_list_response, absent::rejected,
		      field<&sml_get_list_response::client_id>,
		      field<&sml_get_list_response::server_id>,
		      field<&sml_get_list_response::list_name>,
		      field<&sml_get_list_response::act_sensor_time>,
		      field<&sml_get_list_response::val_list>,
		      field<&sml_get_list_response::list_signature>,
		      field<&sml_get_list_response::act_gateway_time>>;

ZELKOR_RECORD_API(sml_get_list_response, layout)
