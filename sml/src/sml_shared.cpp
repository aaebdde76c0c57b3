// The byte buffer and SML type-length fields.
#include <sml/sml_shared.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "diagnostic.hpp"
#include "buffer.hpp"
#include "room.hpp"
#include "wire.hpp"

namespace {

using handler_fn = void (*)(const char *line, void *ctx);

void to_stderr(const char *line, void *) { std::fprintf(stderr, "%s\n", line); }

// The one piece of process-wide state: who hears the diagnostics. The lock
// guards the pair, never the call, so a handler may replace itself. It is a
// flag rather than std::mutex, whose lock may throw: held for two loads or
// stores, it is never held for long.
std::atomic_flag handler_lock = ATOMIC_FLAG_INIT;
handler_fn handler = to_stderr;
void *handler_ctx = nullptr;

class hold_handler {
public:
	hold_handler() {
		while (handler_lock.test_and_set(std::memory_order_acquire))
			std::this_thread::yield();
	}
	~hold_handler() { handler_lock.clear(std::memory_order_release); }
	hold_handler(const hold_handler &) = delete;
	hold_handler &operator=(const hold_handler &) = delete;
};

} // namespace

namespace zelkor::detail {

void diag(const char *format, ...) {
	char line[256];
	va_list args;
	va_start(args, format);
	std::vsnprintf(line, sizeof line, format, args);
	va_end(args);
	handler_fn fn;
	void *ctx;
	{
		hold_handler hold;
		fn = handler;
		ctx = handler_ctx;
	}
	fn(line, ctx);
}

} // namespace zelkor::detail

extern "C" {

sml_buffer *sml_buffer_init(size_t length) {
	auto *buf = static_cast<sml_buffer *>(std::calloc(1, sizeof(sml_buffer)));
	if (!buf)
		return nullptr;
	// calloc(0) may return NULL; one spare byte keeps buffer non-NULL.
	buf->buffer = static_cast<unsigned char *>(std::calloc(length ? length : 1, 1));
	if (!buf->buffer) {
		std::free(buf);
		return nullptr;
	}
	buf->buffer_len = length;
	return buf;
}

void sml_buffer_free(sml_buffer *buf) {
	if (!buf)
		return;
	std::free(buf->buffer);
	std::free(buf->error_msg);
	std::free(buf);
}

void sml_buf_reserve(sml_buffer *buf, size_t n) {
	size_t need = buf->cursor + n;
	if (need <= buf->buffer_len)
		return;
	size_t cap = std::max(need, buf->buffer_len * 2);
	auto *area = static_cast<unsigned char *>(std::realloc(buf->buffer, cap));
	// Out of memory: the area stays as it was, and the writers, finding no
	// room, write nothing. The flag tells the caller the bytes are not whole.
	if (!area) {
		buf->error = 1;
		return;
	}
	std::memset(area + buf->buffer_len, 0, cap - buf->buffer_len);
	buf->buffer = area;
	buf->buffer_len = cap;
}

unsigned char sml_buf_get_current_byte(sml_buffer *buf) { return zelkor::detail::buf::current(buf); }

unsigned char *sml_buf_get_current_buf(sml_buffer *buf) {
	return buf->buffer + std::min(buf->cursor, buf->buffer_len);
}

void sml_buf_update_bytes_read(sml_buffer *buf, int bytes) {
	buf->cursor += static_cast<size_t>(static_cast<ptrdiff_t>(bytes));
}

int sml_buf_get_next_type(sml_buffer *buf) { return zelkor::detail::buf::next_type(buf); }

int sml_buf_get_next_length(sml_buffer *buf) { return zelkor::detail::buf::next_length(buf); }

void sml_buf_set_type_and_length(sml_buffer *buf, unsigned int type, unsigned int l) {
	bool list = (type & SML_TL_LIST) == SML_TL_LIST;
	uint64_t length = l;
	int k = 1;
	// The length of a non-list element counts its own TL bytes.
	while ((list ? length : length + k) >= (uint64_t{1} << (4 * k)))
		k++;
	if (!list)
		length += k;
	unsigned char *out = zelkor::detail::room(buf, k);
	if (!out)
		return;
	for (int i = 0; i < k; i++) {
		auto nibble = static_cast<unsigned char>((length >> (4 * (k - 1 - i))) & 0x0F);
		unsigned char byte = i == 0 ? static_cast<unsigned char>(type & SML_TL_LIST) : 0;
		if (i < k - 1)
			byte |= SML_TL_MORE;
		out[i] = byte | nibble;
	}
	buf->cursor += k;
}

int sml_buf_has_errors(sml_buffer *buf) { return zelkor::detail::buf::failed(buf); }

int sml_buf_optional_is_skipped(sml_buffer *buf) { return zelkor::detail::buf::optional_skipped(buf); }

void sml_buf_optional_write(sml_buffer *buf) {
	if (unsigned char *out = zelkor::detail::room(buf, 1)) {
		*out = SML_OPTIONAL_SKIPPED;
		buf->cursor++;
	}
}

void sml_set_diagnostic_handler(void (*fn)(const char *line, void *ctx), void *ctx) {
	hold_handler hold;
	handler = fn ? fn : to_stderr;
	handler_ctx = fn ? ctx : nullptr;
}

void hexdump(unsigned char *buffer, size_t buffer_len) {
	for (size_t i = 0; i < buffer_len; i++) {
		std::printf("%02X ", buffer[i]);
		if ((i + 1) % 8 == 0)
			std::printf("\n");
	}
	std::printf("\n");
}

} // extern "C"
