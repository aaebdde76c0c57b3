// libFuzzer target: any bytes as an SML file, parsed, written back, released.
#include <sml/sml_file.h>
#include <sml/sml_shared.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	// Damaged files are the point here, and each would print its warning.
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	sml_file *file = sml_file_parse(data, size);
	sml_file_write(file);
	sml_file_free(file);
	return 0;
}
