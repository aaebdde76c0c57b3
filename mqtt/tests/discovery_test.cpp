// Home Assistant discovery: a retained config for every numeric reading,
// with the keys Home Assistant reads, sent again when Home Assistant says
// it is online.
#include "../../tests/json.hpp"
#include "meters.hpp"

namespace {

using namespace mqtt_test;

std::string config_topic(const std::string &object) {
	return "homeassistant/sensor/" + sim_meter + "/obis_" + object + "/config";
}

TEST(MqttDiscovery, ConfigsForEveryNumericReadingRetainedAndAgainOnBirth) {
	broker b;
	tcp_meter meter;
	child zm({bridge(), "--broker", b.url(), meter.source()});
	ASSERT_TRUE(meter.serve()) << zm.err();
	{
		subscriber live(b.port());
		ASSERT_TRUE(live.wait([&] { return live.count("zelkor/" + sim_meter + "/state") >= 1; })) << zm.err();
	}

	// A newcomer finds them retained, and only for numbers.
	subscriber sub(b.port(), "homeassistant/#");
	sub.take(300ms);
	std::vector<std::string> topics;
	for (const auto &m : sub.messages) {
		EXPECT_TRUE(m.retained) << m.topic;
		topics.push_back(m.topic);
	}
	std::vector<std::string> expected;
	for (const auto &o : sim_numeric)
		expected.push_back(config_topic(o));
	std::sort(topics.begin(), topics.end());
	std::sort(expected.begin(), expected.end());
	EXPECT_EQ(topics, expected);

	struct {
		std::string object, name, unit, device_class, state_class, precision;
	} const cases[] = {
		{"1_0_1_8_0_255", "Energy import total", "Wh", "energy", "total_increasing", "1"},
		{"1_0_2_8_0_255", "Energy export total", "Wh", "energy", "total_increasing", "1"},
		{"1_0_16_7_0_255", "Active power", "W", "power", "measurement", "0"},
		{"1_0_32_7_0_255", "Voltage L1", "V", "voltage", "measurement", "1"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.object);
		const message *m = sub.last(config_topic(c.object));
		ASSERT_TRUE(m);
		auto j = test::json::parse(m->payload);
		ASSERT_TRUE(j) << m->payload;
		auto text = [&](const char *key) { return j->find(key) ? j->find(key)->text : "(none)"; };
		EXPECT_EQ(text("name"), c.name);
		EXPECT_EQ(text("unique_id"), "zelkor_" + sim_meter + "_obis_" + c.object);
		EXPECT_EQ(text("unit_of_measurement"), c.unit);
		EXPECT_EQ(text("device_class"), c.device_class);
		EXPECT_EQ(text("state_class"), c.state_class);
		EXPECT_EQ(text("suggested_display_precision"), c.precision);
		EXPECT_EQ(text("availability_mode"), "all");
		const auto *state = j->find("state_topic");
		ASSERT_TRUE(state);
		EXPECT_TRUE(state->text.starts_with("zelkor/" + sim_meter + "/1-0:"));
		const auto *availability = j->find("availability");
		ASSERT_TRUE(availability && availability->items.size() == 2);
		EXPECT_EQ(availability->items[0].find("topic")->text, "zelkor/status");
		EXPECT_EQ(availability->items[1].find("topic")->text, "zelkor/" + sim_meter + "/status");
		const auto *device = j->find("device");
		ASSERT_TRUE(device);
		EXPECT_EQ(device->find("identifiers")->items.at(0).text, "zelkor_" + sim_meter);
		EXPECT_EQ(device->find("manufacturer")->text, "ZLK");
	}

	// Home Assistant's birth message: every config once more, not retained
	// now that it goes to a subscriber already there.
	auto configs = [&] {
		return std::count_if(sub.messages.begin(), sub.messages.end(),
				     [](const message &m) { return m.topic.ends_with("/config"); });
	};
	auto before = configs();
	sub.publish("homeassistant/status", "online");
	ASSERT_TRUE(sub.wait([&] { return configs() >= before + 4; })) << zm.err();
	sub.take(300ms);
	EXPECT_EQ(configs(), before + 4);
	EXPECT_EQ(sub.count(config_topic("1_0_1_8_0_255")), 2u);
	EXPECT_FALSE(sub.last(config_topic("1_0_1_8_0_255"))->retained);
}

} // namespace
