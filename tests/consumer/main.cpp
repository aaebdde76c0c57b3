// The C interface from C++, with the shared library.
#include <sml/sml_crc16.h>
#include <sml/sml_file.h>
#include <sml/sml_octet_string.h>
#include <sml/zelkor_version.h>

#include <cstdio>
#include <memory>
#include <string_view>

int main() {
	std::unique_ptr<octet_string, decltype(&sml_octet_string_free)> id{sml_octet_string_generate_uuid(),
									   sml_octet_string_free};
	unsigned char padding[] = {0, 0};
	std::unique_ptr<sml_file, decltype(&sml_file_free)> file{sml_file_parse(padding, sizeof padding), sml_file_free};
	unsigned char abc[] = {'a', 'b', 'c'};
	bool ok = id->len == 16 && file->messages_len == 0 && sml_crc16_calculate(abc, 3) == 0x259E &&
		  std::string_view{sml_version()} == ZELKOR_VERSION_STRING;
	std::puts(ok ? "consumer ok" : "consumer FAILED");
	return ok ? 0 : 1;
}
