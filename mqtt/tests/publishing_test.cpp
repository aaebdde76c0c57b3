// What goes out for meter-sim's frames from a file: names, the state of a
// frame, --retain, --interval and --on-change.
#include "../../tests/json.hpp"
#include "bridge_test.hpp"

namespace {

using namespace mqtt_test;

// meter-sim's frames in a file: its energy counts up, its server id stays.
std::string frames_file(const temp_dir &dir, int frames) {
	std::string path = dir.file("frames.bin");
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	child sim({meter_sim(), "-n", std::to_string(frames), "-i", "0"}, fd);
	close(fd);
	EXPECT_EQ(sim.wait(10s), 0);
	return path;
}

std::vector<message> publish(const std::vector<std::string> &options, const std::string &file, const broker &b) {
	subscriber sub(b.port());
	std::vector<std::string> args = {bridge(), "--broker", b.url()};
	args.insert(args.end(), options.begin(), options.end());
	args.push_back(file);
	child zm(args);
	EXPECT_EQ(zm.wait(20s), 0) << zm.err();
	// The end of this run, not the one a run before left retained.
	const message *end = nullptr;
	EXPECT_TRUE(sub.wait([&] { return (end = sub.last("zelkor/status")) && !end->retained && end->payload == "offline"; }));
	std::vector<message> live;
	std::copy_if(sub.messages.begin(), sub.messages.end(), std::back_inserter(live), [](auto &m) { return !m.retained; });
	return live;
}

size_t count(const std::vector<message> &messages, const std::string &topic) {
	return std::count_if(messages.begin(), messages.end(), [&](const message &m) { return m.topic == topic; });
}

TEST(MqttPublishing, NamedMeterWithItsStateRetained) {
	broker b;
	temp_dir dir;
	auto file = frames_file(dir, 2);
	publish({"--name", sim_meter + "=cellar meter", "--retain"}, file, b);

	// A newcomer after the bridge has gone finds the latest of everything.
	subscriber sub(b.port());
	sub.take(300ms);
	const std::string p = "zelkor/cellar meter/";
	ASSERT_TRUE(sub.last(p + "1-0:1.8.0*255")) << sub.messages.size();
	EXPECT_EQ(sub.last(p + "1-0:1.8.0*255")->payload, "1234500.7");
	EXPECT_TRUE(sub.last(p + "1-0:1.8.0*255")->retained);
	EXPECT_EQ(sub.last(p + "1-0:0.0.9*255")->payload, sim_meter);
	EXPECT_EQ(sub.last(p + "0-0:96.3.10*255")->payload, "true");
	EXPECT_EQ(sub.last(p + "status")->payload, "offline");

	ASSERT_TRUE(sub.last(p + "state"));
	auto state = test::json::parse(sub.last(p + "state")->payload);
	ASSERT_TRUE(state);
	EXPECT_EQ(state->find("meter")->text, "cellar meter");
	EXPECT_EQ(state->find("server_id")->text, sim_meter);
	// A sec index is no Unix time: it has a key of its own, as in obisdump.
	EXPECT_EQ(state->find("meter_seconds")->text, "86401");
	EXPECT_FALSE(state->find("meter_time"));
	EXPECT_TRUE(state->find("received")->text.ends_with("Z"));
	const auto *readings = state->find("readings");
	ASSERT_TRUE(readings);
	EXPECT_EQ(readings->members.size(), 7u);
	const auto *energy = readings->find("1-0:1.8.0*255");
	ASSERT_TRUE(energy);
	EXPECT_EQ(test::json::compact(*energy), R"({"value":1234500.7,"unit":"Wh","status":65922})");
	EXPECT_EQ(test::json::compact(*readings->find("129-129:199.130.3*255")), R"({"value":"5a4c4b"})");

	// Renamed, the device keeps the identity of its server id; the node id
	// of the topic holds only what Home Assistant allows.
	const message *config = sub.last("homeassistant/sensor/cellar_meter/obis_1_0_1_8_0_255/config");
	ASSERT_TRUE(config);
	auto j = test::json::parse(config->payload);
	EXPECT_EQ(j->find("unique_id")->text, "zelkor_" + sim_meter + "_obis_1_0_1_8_0_255");
	EXPECT_EQ(j->find("state_topic")->text, p + "1-0:1.8.0*255");
	EXPECT_EQ(j->find("device")->find("name")->text, "cellar meter");
}

TEST(MqttPublishing, IntervalAndOnChange) {
	broker b;
	temp_dir dir;
	auto file = frames_file(dir, 3);
	const std::string p = "zelkor/" + sim_meter + "/";
	const struct {
		std::vector<std::string> options;
		size_t counting, constant, states; // publishes of 1.8.0, of 0.0.9, of the state
	} cases[] = {
		{{}, 3, 3, 3},
		// The meter's id never changes; its energy does, and so its state.
		{{"--on-change"}, 3, 1, 3},
		{{"--interval", "3600"}, 1, 1, 1},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(testing::PrintToString(c.options));
		auto messages = publish(c.options, file, b);
		EXPECT_EQ(count(messages, p + "1-0:1.8.0*255"), c.counting);
		EXPECT_EQ(count(messages, p + "1-0:0.0.9*255"), c.constant);
		EXPECT_EQ(count(messages, p + "state"), c.states);
	}
}

} // namespace
