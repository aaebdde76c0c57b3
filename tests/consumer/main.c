#include <sml/sml_crc16.h>
#include <sml/sml_file.h>
#include <sml/sml_octet_string.h>
#include <sml/zelkor_version.h>

#include <stdio.h>
#include <string.h>

int main(void) {
	octet_string *id = sml_octet_string_generate_uuid();
	sml_file *file = sml_file_parse((unsigned char *)"\0\0", 2);
	int ok = id->len == 16 && file->messages_len == 0 && sml_crc16_calculate((unsigned char *)"abc", 3) == 0x259E &&
		 strcmp(sml_version(), ZELKOR_VERSION_STRING) == 0;
	sml_octet_string_free(id);
	sml_file_free(file);
	puts(ok ? "consumer ok" : "consumer FAILED");
	return ok ? 0 : 1;
}
