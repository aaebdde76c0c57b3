/* Every public header compiles as C11 and the library links from C. */
#include "all_headers.h"

#include <stdio.h>
#include <string.h>

int main(void) {
	unsigned char digits[] = "123456789";
	if (sml_crc16_calculate(digits, 9) != 0x6E90)
		return 1;

	sml_buffer *buf = sml_buffer_init(0);
	sml_get_list_request *req = sml_get_list_request_init();
	unsigned char name[] = {0x01, 0x02};
	req->list_name = sml_octet_string_init(name, 2);
	sml_get_list_request_write(req, buf);
	static const unsigned char expected[] = {0x75, 0x01, 0x01, 0x01, 0x01, 0x03, 0x01, 0x02};
	int ok = buf->cursor == sizeof expected && memcmp(buf->buffer, expected, sizeof expected) == 0;
	sml_get_list_request_free(req);
	sml_buffer_free(buf);

	sml_value *v = sml_value_init();
	v->type = SML_TL_INTEGER | 2;
	v->data.int16 = (i16 *)sml_number_init((u64)-300, SML_TL_INTEGER, 2);
	ok = ok && sml_value_to_double(v) == -300.0;
	sml_value_free(v);

	/* The library reports the version its header was made with, and the
	 * string agrees with the numeric macros. */
	char numbers[32];
	snprintf(numbers, sizeof numbers, "%d.%d.%d", ZELKOR_VERSION_MAJOR, ZELKOR_VERSION_MINOR, ZELKOR_VERSION_PATCH);
	ok = ok && strcmp(sml_version(), ZELKOR_VERSION_STRING) == 0 && strcmp(numbers, ZELKOR_VERSION_STRING) == 0;

	puts(ok ? "c headers ok" : "c headers FAILED");
	return ok ? 0 : 1;
}
