// Open response: 76 | codepage | client_id | req_file_id | server_id | ref_time | sml_version
#include <sml/sml_open_response.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_open_response, absent::rejected,
		      field<&sml_open_response::codepage>,
		      field<&sml_open_response::client_id>,
		      field<&sml_open_response::req_file_id>,
		      field<&sml_open_response::server_id>,
		      field<&sml_open_response::ref_time>,
		      field<&sml_open_response::sml_version>>;

ZELKOR_RECORD_API(sml_open_response, layout)
