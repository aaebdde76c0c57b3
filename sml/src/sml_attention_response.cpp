// Attention response: 74 | server_id | attention_number | attention_message | attention_details
#include <sml/sml_attention_response.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_attention_response, absent::rejected,
		      field<&sml_attention_response::server_id>,
		      field<&sml_attention_response::attention_number>,
		      field<&sml_attention_response::attention_message>,
		      field<&sml_attention_response::attention_details>>;

ZELKOR_RECORD_API(sml_attention_response, layout)
