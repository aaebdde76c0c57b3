// Every reading of every captured frame arrives on its topic with the value
// obisdump --json gives it.
#include <algorithm>
#include <map>

#include "../../tests/json.hpp"
#include "../../tests/process.hpp"
#include "bridge_test.hpp"

namespace {

using namespace mqtt_test;

std::vector<unsigned char> read_file(const std::string &path) {
	std::ifstream in(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "topic value" for each reading obisdump --json prints for one file, read
// as source number n.
std::vector<std::string> expected_of(const std::string &file, size_t n) {
	auto r = test::run({std::string(ZELKOR_BIN_DIR) + "/obisdump", "--json", "-"}, read_file(file));
	EXPECT_EQ(r.status, 0) << file;
	std::vector<std::string> out;
	for (const auto &line : test::lines_of(r.out)) {
		if (line.empty())
			continue;
		auto j = test::json::parse(line);
		if (!j) {
			ADD_FAILURE() << file << ": " << line;
			continue;
		}
		const auto *value = j->find("value");
		if (!value)
			continue;
		const auto *server = j->find("server_id");
		std::string meter = server ? server->text : "source" + std::to_string(n);
		out.push_back("zelkor/" + meter + "/" + j->find("obis")->text + " " + value->text);
	}
	return out;
}

TEST(MqttCorpus, EveryReadingArrivesWithObisdumpsValue) {
	std::string dir = ZELKOR_CORPUS_DIR;
	if (!std::filesystem::is_directory(dir))
		GTEST_SKIP() << "no captures in " << dir;
	std::vector<std::string> files;
	for (const auto &e : std::filesystem::directory_iterator(dir))
		if (e.path().extension() == ".bin")
			files.push_back(e.path());
	std::sort(files.begin(), files.end());
	ASSERT_GE(files.size(), 20u);

	std::vector<std::string> expected;
	for (size_t i = 0; i < files.size(); i++) {
		// Some captures are damaged whole (a CRC that fails) and give nothing.
		auto each = expected_of(files[i], i + 1);
		expected.insert(expected.end(), each.begin(), each.end());
	}

	broker b;
	subscriber sub(b.port());
	std::vector<std::string> args = {bridge(), "--broker", b.url(), "--no-discovery"};
	args.insert(args.end(), files.begin(), files.end());
	child zm(args);
	// Files are sources that end: the bridge delivers and ends by itself.
	auto status = zm.wait(30s);
	ASSERT_TRUE(status) << zm.err();
	EXPECT_EQ(*status, 0) << zm.err();
	ASSERT_TRUE(sub.wait([&] { return sub.has("zelkor/status", "offline"); })) << zm.err();

	std::vector<std::string> got;
	for (const auto &m : sub.messages) {
		std::string_view t = m.topic;
		if (t.ends_with("/status") || t.ends_with("/state"))
			continue;
		got.push_back(m.topic + " " + m.payload);
	}
	ASSERT_GT(expected.size(), 200u);
	std::sort(expected.begin(), expected.end());
	std::sort(got.begin(), got.end());
	EXPECT_EQ(got, expected);
}

} // namespace
