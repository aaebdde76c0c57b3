// The diagnostic hook: lines captured by a handler, a silenced library, and
// stderr again once the default is restored.
#include <sml/sml_file.h>
#include <sml/sml_shared.h>

#include <string>
#include <vector>

#include "sml_test.hpp"

namespace {

// A message list header with nothing behind it: the file parser warns.
void parse_broken_file() {
	auto b = test::bytes("76 05 01");
	sml_file_free(sml_file_parse(b.data(), b.size()));
}

TEST(DiagnosticHandler, CapturesSilencesAndRestores) {
	std::vector<std::string> lines;
	sml_set_diagnostic_handler([](const char *line, void *ctx) {
		static_cast<std::vector<std::string> *>(ctx)->push_back(line);
	}, &lines);
	testing::internal::CaptureStderr();
	parse_broken_file();
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	EXPECT_EQ(lines, std::vector<std::string>{"zelkor: warning: could not read the whole file"});

	sml_set_diagnostic_handler([](const char *, void *) {}, nullptr);
	testing::internal::CaptureStderr();
	parse_broken_file();
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

	sml_set_diagnostic_handler(nullptr, nullptr);
	testing::internal::CaptureStderr();
	parse_broken_file();
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "zelkor: warning: could not read the whole file\n");
	EXPECT_EQ(lines.size(), 1u);
}

} // namespace
