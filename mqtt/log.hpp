// Logging: one line per event on stderr, in the program's own prefix.
#pragma once

namespace zmqtt::log {

enum class level { quiet, normal, verbose };

void set_level(level l);
bool enabled(level l);

// An error: shown even with --quiet.
void error(const char *format, ...) __attribute__((format(printf, 1, 2)));
// A change of state: a source or the broker lost or back, a meter silent.
void info(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Every retry, dropped frame and unreadable entry.
void debug(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zmqtt::log
