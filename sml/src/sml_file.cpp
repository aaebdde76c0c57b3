// SML files: a run of messages, zero bytes between them skipped.
#include <sml/sml_file.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "buffer.hpp"
#include "diagnostic.hpp"
#include "slots.hpp"

extern "C" {

sml_file *sml_file_init(void) {
	auto *file = static_cast<sml_file *>(std::calloc(1, sizeof(sml_file)));
	if (!file)
		return nullptr;
	file->buf = sml_buffer_init(512);
	if (!file->buf) {
		std::free(file);
		return nullptr;
	}
	return file;
}

sml_file *sml_file_parse(const unsigned char *buffer, size_t buffer_len) {
	auto *file = static_cast<sml_file *>(std::calloc(1, sizeof(sml_file)));
	if (!file)
		return nullptr;
	file->buf = sml_buffer_init(buffer_len);
	if (!file->buf) {
		std::free(file);
		return nullptr;
	}
	if (buffer_len)
		std::memcpy(file->buf->buffer, buffer, buffer_len);
	sml_buffer *buf = file->buf;
	zelkor::detail::gathered<sml_message> messages{sml_message_free};
	while (buf->cursor < buf->buffer_len) {
		// Zero bytes between messages, the frame's padding among them.
		if (zelkor::detail::buf::current(buf) == SML_END_OF_MESSAGE) {
			sml_buf_update_bytes_read(buf, 1);
			continue;
		}
		// messages_len is a short: a file cannot count further.
		if (messages.size() == SML_FILE_MAX_MESSAGES)
			buf->error = 1;
		sml_message *msg = buf->error ? nullptr : sml_message_parse(buf);
		// A message that cannot be kept for want of memory ends the file
		// as one that cannot be read does.
		if (!zelkor::detail::buf::failed(buf) && !messages.add(msg))
			buf->error = 1;
		if (zelkor::detail::buf::failed(buf)) {
			zelkor::detail::diag("zelkor: warning: could not read the whole file");
			break;
		}
	}
	int len = 0;
	messages.hand_to(file->messages, len);
	file->messages_len = static_cast<short>(len);
	return file;
}

void sml_file_add_message(sml_file *file, sml_message *message) {
	if (file->messages_len == SML_FILE_MAX_MESSAGES) {
		sml_message_free(message);
		return;
	}
	int len = file->messages_len;
	zelkor::detail::append(file->messages, len, message, sml_message_free);
	file->messages_len = static_cast<short>(len);
}

void sml_file_write(sml_file *file) {
	for (int i = 0; i < file->messages_len; i++)
		sml_message_write(file->messages[i], file->buf);
}

void sml_file_print(sml_file *file) {
	std::printf("SML file (%d SML messages, %zu bytes)\n", file->messages_len, file->buf->cursor);
	for (int i = 0; i < file->messages_len; i++) {
		const sml_message_body *body = file->messages[i]->message_body;
		unsigned tag = body && body->tag ? *body->tag : 0;
		std::printf("SML message %4.X\n", tag);
	}
}

void sml_file_free(sml_file *file) {
	if (!file)
		return;
	for (int i = 0; i < file->messages_len; i++)
		sml_message_free(file->messages[i]);
	std::free(file->messages);
	sml_buffer_free(file->buf);
	std::free(file);
}

} // extern "C"
