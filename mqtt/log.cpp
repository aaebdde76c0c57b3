#include "log.hpp"

#include <cstdarg>
#include <cstdio>

#include <unistd.h>

namespace zmqtt::log {
namespace {

level current = level::normal;

// One write per line, so that lines of several processes on one journal
// never interleave.
void line(const char *format, va_list args) {
	char text[1024] = "zelkor-mqtt: ";
	size_t used = sizeof "zelkor-mqtt: " - 1;
	int n = std::vsnprintf(text + used, sizeof text - used - 1, format, args);
	if (n < 0)
		return;
	used += static_cast<size_t>(n) < sizeof text - used - 1 ? static_cast<size_t>(n) : sizeof text - used - 2;
	text[used++] = '\n';
	ssize_t ignored = ::write(STDERR_FILENO, text, used);
	(void)ignored;
}

} // namespace

void set_level(level l) { current = l; }
bool enabled(level l) { return static_cast<int>(l) <= static_cast<int>(current); }

#define ZMQTT_LOG_AT(lvl)                                                                                          \
	if (!enabled(lvl))                                                                                         \
		return;                                                                                            \
	va_list args;                                                                                              \
	va_start(args, format);                                                                                    \
	line(format, args);                                                                                        \
	va_end(args)

void error(const char *format, ...) { ZMQTT_LOG_AT(level::quiet); }
void info(const char *format, ...) { ZMQTT_LOG_AT(level::normal); }
void debug(const char *format, ...) { ZMQTT_LOG_AT(level::verbose); }

} // namespace zmqtt::log
