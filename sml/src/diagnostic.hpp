// The library's diagnostic lines, routed through the handler of
// sml_set_diagnostic_handler.
#pragma once

namespace zelkor::detail {

// Formats one line ("zelkor: error: ..."; no trailing newline) and hands it
// to the current handler. Long lines are cut, never allocated for.
[[gnu::format(printf, 1, 2)]] void diag(const char *format, ...);

} // namespace zelkor::detail
