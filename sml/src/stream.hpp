// What the transport calls need to know of a decoder between chunks.
#pragma once

#include <cstddef>

#include <sml/sml_stream.h>

namespace zelkor::detail {

// The fewest bytes after which a frame could be complete: reading no more
// than this never takes a byte past the frame.
size_t stream_need(const sml_stream &s);

// No frame is being collected.
bool stream_hunting(const sml_stream &s);

// A failed frame's drop is still to come: one too long for the area goes on
// up to the next start sequence.
bool stream_dropping(const sml_stream &s);

// No frame and no part of a start sequence is pending.
bool stream_idle(const sml_stream &s);

// The CRC is checked, but a frame that matches no variant is still handed
// out (crc SML_FRAME_CRC_UNCHECKED) unless a frame with a matching CRC lies
// inside it: what callers that never checked the CRC need.
void stream_check_crc_leniently(sml_stream &s);

} // namespace zelkor::detail
