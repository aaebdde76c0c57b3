// GetProcParameter response: 73 | server_id | parameter_tree_path | parameter_tree
#include <sml/sml_get_proc_parameter_response.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_get_proc_parameter_response, absent::rejected,
		      field<&sml_get_proc_parameter_response::server_id>,
		      field<&sml_get_proc_parameter_response::parameter_tree_path>,
		      field<&sml_get_proc_parameter_response::parameter_tree>>;

ZELKOR_RECORD_API(sml_get_proc_parameter_response, layout)
