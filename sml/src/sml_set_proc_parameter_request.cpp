// SetProcParameter request: 75 | server_id | username | password | parameter_tree_path | parameter_tree
#include <sml/sml_set_proc_parameter_request.h>

#include "record.hpp"

using namespace zelkor::detail;

using layout = record<sml_set_proc_parameter_request, absent::rejected,
		      field<&sml_set_proc_parameter_request::server_id>,
		      field<&sml_set_proc_parameter_request::username>,
		      field<&sml_set_proc_parameter_request::password>,
		      field<&sml_set_proc_parameter_request::parameter_tree_path>,
		      field<&sml_set_proc_parameter_request::parameter_tree>>;

ZELKOR_RECORD_API(sml_set_proc_parameter_request, layout)
