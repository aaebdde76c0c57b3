// Open request: 77 | codepage | client_id | req_file_id | server_id | username | password | sml_version
#include <sml/sml_open_request.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_open_request, absent::rejected,
		      field<&sml_open_request::codepage>,
		      field<&sml_open_request::client_id>,
		      field<&sml_open_request::req_file_id>,
		      field<&sml_open_request::server_id>,
		      field<&sml_open_request::username>,
		      field<&sml_open_request::password>,
		      field<&sml_open_request::sml_version>>;

ZELKOR_RECORD_API(sml_open_request, layout)
