// Message envelope and body:
//   76 | transaction_id | group_id (62) | abort_on_error (62) | 72 tag body | crc (63 hi lo) | 00
// The CRC covers the bytes from the 76 through the end of the body.
#include <sml/sml_message.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sml/sml_crc16.h>

#include "body_dispatch.hpp"
#include "buffer.hpp"
#include "diagnostic.hpp"
#include "record.hpp"
#include "room.hpp"
#include "zeroed.hpp"

using namespace zelkor::detail;

namespace zelkor::detail {
// Never absent: the optional marker is not a list and fails the body.
template <> struct codec_of<sml_message_body> {
	static sml_message_body *parse(sml_buffer *buf) { return sml_message_body_parse(buf); }
};
} // namespace zelkor::detail

namespace {

struct message_deleter {
	void operator()(sml_message *m) const { sml_message_free(m); }
};
struct body_deleter {
	void operator()(sml_message_body *b) const { sml_message_body_free(b); }
};

} // namespace

extern "C" {

sml_message *sml_message_init(void) {
	auto *msg = zelkor::detail::zeroed<sml_message>();
	if (!msg)
		return nullptr;
	msg->transaction_id = sml_octet_string_generate_uuid();
	if (!msg->transaction_id) {
		std::free(msg);
		return nullptr;
	}
	return msg;
}

sml_message *sml_message_parse(sml_buffer *buf) {
	if (!expect_list(buf, 6))
		return nullptr;
	std::unique_ptr<sml_message, message_deleter> msg{
		zelkor::detail::zeroed<sml_message>()};
	// Out of memory fails the parse as bad input would: by the flag.
	if (!msg) {
		buf->error = 1;
		return nullptr;
	}
	bool ok = read_field(buf, msg->transaction_id) && read_field(buf, msg->group_id) &&
		  read_field(buf, msg->abort_on_error) && read_field(buf, msg->message_body) &&
		  read_field(buf, msg->crc);
	if (!ok)
		return nullptr;
	// The end-of-message byte is the sixth element; a message without it still reads.
	if (buf->cursor < buf->buffer_len && zelkor::detail::buf::current(buf) == SML_END_OF_MESSAGE)
		sml_buf_update_bytes_read(buf, 1);
	return msg.release();
}

void sml_message_write(sml_message *msg, sml_buffer *buf) {
	size_t start = buf->cursor;
	sml_buf_set_type_and_length(buf, SML_TL_LIST, 6);
	sml_octet_string_write(msg->transaction_id, buf);
	codec_of<u8>::write(msg->group_id, buf);
	codec_of<u8>::write(msg->abort_on_error, buf);
	if (msg->message_body)
		sml_message_body_write(msg->message_body, buf);
	else
		sml_buf_optional_write(buf);
	u16 crc = sml_crc16_calculate(buf->buffer + start, static_cast<int>(buf->cursor - start));
	// The record's own block is reused, so only a message that had no CRC
	// yet needs memory for it; without that the bytes still go out whole,
	// and the flag says the record lacks its CRC.
	if (!msg->crc)
		msg->crc = static_cast<u16 *>(sml_number_init(crc, SML_TL_UNSIGNED, 2));
	if (msg->crc)
		*msg->crc = crc;
	else
		buf->error = 1;
	codec_of<u16>::write(&crc, buf);
	if (unsigned char *out = room(buf, 1)) {
		*out = SML_END_OF_MESSAGE;
		buf->cursor++;
	}
}

void sml_message_free(sml_message *msg) {
	if (!msg)
		return;
	sml_octet_string_free(msg->transaction_id);
	sml_number_free(msg->group_id);
	sml_number_free(msg->abort_on_error);
	sml_message_body_free(msg->message_body);
	sml_number_free(msg->crc);
	std::free(msg);
}

sml_message_body *sml_message_body_init(u32 tag, void *data) {
	auto *body = zelkor::detail::zeroed<sml_message_body>();
	u32 *tag_block = static_cast<u32 *>(sml_number_init(tag, SML_TL_UNSIGNED, 4));
	// data was handed over: without a body to hold it, it goes as the body's
	// free would have released it.
	if (!body || !tag_block) {
		if (const body_ops *ops = find_body(tag))
			ops->release(data);
		sml_number_free(tag_block);
		std::free(body);
		return nullptr;
	}
	body->tag = tag_block;
	body->data = data;
	return body;
}

sml_message_body *sml_message_body_parse(sml_buffer *buf) {
	if (!expect_list(buf, 2))
		return nullptr;
	std::unique_ptr<sml_message_body, body_deleter> body{
		zelkor::detail::zeroed<sml_message_body>()};
	// Out of memory fails the parse as bad input would: by the flag.
	if (!body) {
		buf->error = 1;
		return nullptr;
	}
	body->tag = codec_of<u32>::parse(buf);
	if (zelkor::detail::buf::failed(buf))
		return nullptr;
	// Without a tag there is nothing to dispatch on.
	if (!body->tag) {
		buf->error = 1;
		return nullptr;
	}
	const body_ops *ops = find_body(*body->tag);
	if (!ops) {
		diag("zelkor: error: message type %04X not yet implemented", *body->tag);
		// A vendor's own message costs only its own record: stepped over
		// by its type-length structure, it leaves the CRC and the messages
		// after it to be read. Only a record that cannot be stepped over
		// fails.
		zelkor::detail::buf::step_over(buf);
		return body.release();
	}
	// On failure the body comes back with NULL data and the flag set; the
	// message releases it.
	body->data = ops->parse(buf);
	return body.release();
}

void sml_message_body_write(sml_message_body *message_body, sml_buffer *buf) {
	sml_buf_set_type_and_length(buf, SML_TL_LIST, 2);
	codec_of<u32>::write(message_body->tag, buf);
	if (!message_body->tag) {
		sml_buf_optional_write(buf);
		return;
	}
	const body_ops *ops = find_body(*message_body->tag);
	if (!ops) {
		// With no record to write, the marker stands in its place: the
		// list of two stays whole and the message reads back.
		diag("zelkor: error: message type %04X not yet implemented", *message_body->tag);
		sml_buf_optional_write(buf);
		return;
	}
	ops->write(message_body->data, buf);
}

void sml_message_body_free(sml_message_body *message_body) {
	if (!message_body)
		return;
	if (message_body->tag) {
		// Data under a tag without a record type cannot be released here;
		// a parsed body of such a tag holds none.
		if (const body_ops *ops = find_body(*message_body->tag))
			ops->release(message_body->data);
		else if (message_body->data)
			diag("zelkor: NYI: %s for message type %04X", __func__, *message_body->tag);
	}
	sml_number_free(message_body->tag);
	std::free(message_body);
}

} // extern "C"
