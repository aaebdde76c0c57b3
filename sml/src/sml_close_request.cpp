// Close request: 71 | global_signature
#include <sml/sml_close_request.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_close_request, absent::rejected, field<&sml_close_request::global_signature>>;

ZELKOR_RECORD_API(sml_close_request, layout)
