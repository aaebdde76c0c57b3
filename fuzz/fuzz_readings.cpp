// libFuzzer target: any bytes as an SML file, walked for its readings with
// sml_readings. Whenever the tree API reads the same bytes whole, the two
// must give the same readings, field for field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

// The test helpers that print readings, without the corpus they can read.
#define ZELKOR_CORPUS_DIR ""
#include "../tests/readings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	// A copy of exactly the input, so that the sanitizers see a read past it.
	std::vector<unsigned char> file(data, data + size);
	auto walked = test::texts(test::walk(file), true);
	sml_file *tree = sml_file_parse(file.data(), file.size());
	bool whole = !tree->buf->error;
	auto from_tree = whole ? test::tree::readings(tree) : std::vector<std::string>{};
	sml_file_free(tree);
	if (whole && walked != from_tree)
		std::abort();
	return 0;
}
