// The message body records by tag: parse, write and release, untyped.
#pragma once

#include <sml/sml_shared.h>

namespace zelkor::detail {

struct body_ops {
	u32 tag;
	void *(*parse)(sml_buffer *buf);
	void (*write)(void *body, sml_buffer *buf);
	void (*release)(void *body);
};

// The row of a tag, or NULL for a tag no body record is known for.
const body_ops *find_body(u32 tag);

} // namespace zelkor::detail
