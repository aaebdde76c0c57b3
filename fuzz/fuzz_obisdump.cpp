// libFuzzer target: any bytes as the SML file of a received frame, through
// obisdump's per-frame printing in each of its formats. Diagnostics go to a
// null stream; the text formats print the same lines but for their numbers,
// and every line of JSON is one JSON object with its "obis" (or "name_hex")
// and "received".
#include <sml/sml_shared.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../examples/obisdump_print.h"
#include "../tests/json.hpp"

namespace {

// 2026-12-10T14:03:07.412Z
constexpr int64_t received_ms = 1796911387412;

std::string printed(const std::vector<unsigned char> &file, obisdump_format format, FILE *err) {
	char *text = nullptr;
	size_t len = 0;
	FILE *out = open_memstream(&text, &len);
	if (!out)
		std::abort();
	obisdump_print_file(file.data(), file.size(), format, received_ms, out, err);
	std::fclose(out);
	std::string s(text, len);
	std::free(text);
	return s;
}

size_t lines(const std::string &s) {
	size_t n = 0;
	for (char c : s)
		n += c == '\n';
	return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	static FILE *null = std::fopen("/dev/null", "w");
	if (!null)
		std::abort();
	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	// A copy of exactly the input, so that the sanitizers see a read past it.
	std::vector<unsigned char> file(data, data + size);

	std::string text = printed(file, OBISDUMP_TEXT, null);
	std::string exact = printed(file, OBISDUMP_EXACT, null);
	if (text.empty() || lines(text) != lines(exact))
		std::abort();

	std::string json = printed(file, OBISDUMP_JSON, null);
	for (size_t at = 0; at < json.size();) {
		size_t end = json.find('\n', at);
		if (end == std::string::npos)
			std::abort();
		auto v = test::json::parse(std::string_view(json).substr(at, end - at));
		if (!v || v->kind != test::json::value::object || !(v->find("obis") || v->find("name_hex")) ||
		    !v->find("received"))
			std::abort();
		at = end + 1;
	}
	return 0;
}
