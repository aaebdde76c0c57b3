// The JSON reader the program tests check output with: it must refuse what
// JSON does not allow, or those checks would pass on broken output.
#include <gtest/gtest.h>

#include "json.hpp"

namespace {

TEST(JsonReader, AcceptsJsonAndKeepsNumbersAsWritten) {
	const struct {
		const char *text;
		const char *compact;
	} cases[] = {
		{R"({"obis":"1-0:1.8.0*255","value":0.987,"unit":"m³"})", R"({"obis":"1-0:1.8.0*255","value":0.987,"unit":"m³"})"},
		{R"( { "a" : [ 1 , -0.0 , 2e5, 1E-2 ] , "b" : true , "c" : null } )", R"({"a":[1,-0.0,2e5,1E-2],"b":true,"c":null})"},
		{R"("\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00")", "\"\\\"\\\\/\\u0008\\u000c\\u000a\\u000d\\u0009é😀\""},
		{"123456789012345678901234567890.000000000000000000001", "123456789012345678901234567890.000000000000000000001"},
		{"{}", "{}"},
		{"[]", "[]"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.text);
		auto v = test::json::parse(c.text);
		ASSERT_TRUE(v);
		EXPECT_EQ(test::json::compact(*v), c.compact);
	}
}

TEST(JsonReader, RefusesWhatJsonDoesNotAllow) {
	const char *const cases[] = {
		"",
		"{",
		R"({"a":1,})",
		R"({"a":1 "b":2})",
		R"({"a":1,"a":2})", // a key twice
		R"({a:1})",
		"[1,]",
		"01",
		"1.",
		".5",
		"+1",
		"-",
		"1e",
		"0x10",
		"NaN",
		"tru",
		"nul",
		R"({"a":1} {"b":2})",
		R"({"a":1}x)",
		"'a'",
		"\"tab\there\"",
		"\"line\nbreak\"",
		R"("\x41")",
		R"("\u12")",
		R"("\udc00")",
		R"("\ud83d")",
		"\"\xC3\"",         // cut UTF-8
		"\"\xC0\xAF\"",     // overlong
		"\"\xED\xA0\x80\"", // a surrogate in UTF-8
		"\"\xF5\x80\x80\x80\"",
		"\"unterminated",
	};
	for (const char *c : cases) {
		SCOPED_TRACE(c);
		EXPECT_FALSE(test::json::parse(c));
	}
	EXPECT_FALSE(test::json::parse(std::string(100, '[') + std::string(100, ']')));
}

} // namespace
