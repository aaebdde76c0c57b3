// GetList request: 75 | client_id | server_id | username | password | list_name
#include <sml/sml_get_list_request.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_get_list_request, absent::rejected,
		      field<&sml_get_list_request::client_id>,
		      field<&sml_get_list_request::server_id>,
		      field<&sml_get_list_request::username>,
		      field<&sml_get_list_request::password>,
		      field<&sml_get_list_request::list_name>>;

ZELKOR_RECORD_API(sml_get_list_request, layout)
