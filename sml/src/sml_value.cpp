// Values: a reading as an octet string, boolean, integer of any width or list-typed value.
#include <sml/sml_value.h>

#include <cstdio>
#include <cstdlib>

#include "buffer.hpp"
#include "number.hpp"
#include "zeroed.hpp"
#include "diagnostic.hpp"
#include "width.hpp"

extern "C" {

sml_value *sml_value_init(void) { return zelkor::detail::zeroed<sml_value>(); }

sml_value *sml_value_parse(sml_buffer *buf) {
	if (zelkor::detail::buf::optional_skipped(buf))
		return nullptr;
	auto type = static_cast<unsigned char>(zelkor::detail::buf::next_type(buf));
	sml_value *value = sml_value_init();
	// Out of memory fails the parse as bad input would: by the flag.
	if (!value) {
		buf->error = 1;
		return nullptr;
	}
	value->type = type;
	switch (type) {
	case SML_TL_OCTET_STRING:
		value->data.bytes = sml_octet_string_parse(buf);
		break;
	case SML_TL_BOOLEAN:
		value->data.boolean = sml_boolean_parse(buf);
		break;
	case SML_TL_LIST:
		value->data.list_type = sml_list_type_parse(buf);
		break;
	case SML_TL_INTEGER:
	case SML_TL_UNSIGNED:
		if (int w = zelkor::detail::integer_width(zelkor::detail::wire::at_cursor(buf))) {
			value->data.uint8 = static_cast<u8 *>(zelkor::detail::parse_number(buf, type, w));
			value->type = static_cast<u8>(type | w);
		} else {
			buf->error = 1;
		}
		break;
	default:
		buf->error = 1;
	}
	if (zelkor::detail::buf::failed(buf)) {
		sml_value_free(value);
		return nullptr;
	}
	return value;
}

void sml_value_write(sml_value *value, sml_buffer *buf) {
	if (!value) {
		sml_buf_optional_write(buf);
		return;
	}
	switch (value->type & SML_TL_LIST) {
	case SML_TL_OCTET_STRING:
		sml_octet_string_write(value->data.bytes, buf);
		break;
	case SML_TL_BOOLEAN:
		sml_boolean_write(value->data.boolean, buf);
		break;
	case SML_TL_INTEGER:
	case SML_TL_UNSIGNED:
		sml_number_write(value->data.uint8, value->type & SML_TL_LIST, value->type & SML_TL_LENGTH_MASK,
				 buf);
		break;
	case SML_TL_LIST:
		sml_list_type_write(value->data.list_type, buf);
		break;
	default:
		break;
	}
}

void sml_value_free(sml_value *value) {
	if (!value)
		return;
	switch (value->type) {
	case SML_TL_OCTET_STRING:
		sml_octet_string_free(value->data.bytes);
		break;
	case SML_TL_BOOLEAN:
		sml_boolean_free(value->data.boolean);
		break;
	case SML_VALUE_LIST:
		sml_list_type_free(value->data.list_type);
		break;
	default:
		sml_number_free(value->data.uint8);
	}
	std::free(value);
}

double sml_value_to_double(sml_value *value) {
	// A value a caller is still building may hold nothing yet.
	if (!value || !value->data.uint8)
		return 0.0;
	switch (value->type) {
	case 0x51: return *value->data.int8;
	case 0x52: return *value->data.int16;
	case 0x54: return *value->data.int32;
	case 0x58: return static_cast<double>(*value->data.int64);
	case 0x61: return *value->data.uint8;
	case 0x62: return *value->data.uint16;
	case 0x64: return *value->data.uint32;
	case 0x68: return static_cast<double>(*value->data.uint64);
	default:
		zelkor::detail::diag("zelkor: error: unknown type %d in %s", value->type, __func__);
		return 0.0;
	}
}

char *sml_value_to_strhex(sml_value *value, char **result, bool mixed) {
	// data is read as an octet string: any other type holds something else there.
	if (!value || value->type != SML_TL_OCTET_STRING || !value->data.bytes || !value->data.bytes->str)
		return nullptr;
	const octet_string *s = value->data.bytes;
	auto *text = static_cast<char *>(std::malloc(3 * static_cast<size_t>(s->len) + 1));
	if (!text)
		return nullptr;
	*result = text;
	int i = 0;
	char *out = text;
	if (mixed)
		for (; i < s->len && s->str[i] >= 0x21 && s->str[i] <= 0x7A; i++)
			*out++ = static_cast<char>(s->str[i]);
	static constexpr char digits[] = "0123456789abcdef";
	// Once a byte needs hexadecimal, the rest of the text stays hexadecimal.
	for (; i < s->len; i++) {
		*out++ = digits[s->str[i] >> 4];
		*out++ = digits[s->str[i] & 0x0F];
		*out++ = ' ';
	}
	*out = '\0';
	return text;
}

} // extern "C"
