// The bridge as a service: it waits out a broker that dies and a head that
// is pulled out, and ends cleanly on SIGTERM.
#include <cstdlib>

#include "meters.hpp"

namespace {

using namespace mqtt_test;

const std::string energy = "zelkor/" + sim_meter + "/1-0:1.8.0*255";
const std::string meter_status = "zelkor/" + sim_meter + "/status";

TEST(MqttService, BrokerKilledAndRestartedWhileTheMeterSends) {
	broker b;
	tcp_meter meter;
	child zm({bridge(), "--broker", b.url(), meter.source()});
	ASSERT_TRUE(meter.serve()) << zm.err();
	std::string before;
	{
		subscriber sub(b.port());
		ASSERT_TRUE(sub.wait([&] { return sub.count(energy) >= 2; })) << zm.err();
		before = sub.last(energy)->payload;
	}

	b.kill();
	// Frames arrive while there is no broker: only the latest are kept.
	std::this_thread::sleep_for(2500ms);
	b.start();

	subscriber sub(b.port());
	const std::string power_config = "homeassistant/sensor/" + sim_meter + "/obis_1_0_16_7_0_255/config";
	ASSERT_TRUE(sub.wait([&] { return sub.count(energy) >= 1 && sub.count(power_config) >= 1; })) << zm.err();
	// The statuses and configs are back, retained, without the broker remembering them.
	EXPECT_TRUE(sub.has("zelkor/status", "online"));
	EXPECT_TRUE(sub.has(meter_status, "online"));
	for (const auto &o : sim_numeric)
		EXPECT_GE(sub.count("homeassistant/sensor/" + sim_meter + "/obis_" + o + "/config"), 1u) << o;
	// Newer than anything before the outage: the meter kept counting.
	EXPECT_GT(std::stod(sub.last(energy)->payload), std::stod(before));
	ASSERT_TRUE(sub.wait([&] { return sub.count(energy) >= 3; })) << zm.err();
	EXPECT_FALSE(zm.wait(0ms)) << "the bridge ended: " << zm.err();
	EXPECT_NE(zm.err().find("connection lost"), std::string::npos) << zm.err();
}

TEST(MqttService, HeadPulledOutAndPluggedInAgain) {
	broker b;
	temp_dir dir;
	std::string device = dir.file("ttyUSB-meter");
	pty_meter head(device);
	head.plug();
	subscriber sub(b.port());
	child zm({bridge(), "--broker", b.url(), "--silence", "2.5", device});
	ASSERT_TRUE(sub.wait([&] { return sub.has(meter_status, "online") && sub.count(energy) >= 1; })) << zm.err();

	// The terminal disappears: the meter falls silent and goes offline, the
	// bridge keeps trying the path.
	head.unplug();
	ASSERT_TRUE(sub.wait([&] { return sub.has(meter_status, "offline"); })) << zm.err();
	EXPECT_TRUE(sub.last(meter_status)->retained || sub.count(meter_status) >= 2);
	size_t readings = sub.count(energy);

	// A new terminal behind the same path: it is opened and read again.
	head.plug();
	ASSERT_TRUE(sub.wait([&] { return sub.has(meter_status, "online") && sub.count(energy) > readings; }))
		<< zm.err();
	EXPECT_FALSE(zm.wait(0ms)) << zm.err();
	const std::string &log = zm.err();
	EXPECT_NE(log.find(device + ": line lost"), std::string::npos) << log;
	EXPECT_NE(log.find("meter " + sim_meter + ": offline"), std::string::npos) << log;
	EXPECT_NE(log.find(device + ": open again"), std::string::npos) << log;
	EXPECT_NE(log.find("meter " + sim_meter + ": online again"), std::string::npos) << log;
}

TEST(MqttService, SigtermLeavesBothStatusesOfflineAndExitsZero) {
	broker b;
	tcp_meter meter;
	child zm({bridge(), "--broker", b.url(), meter.source()});
	ASSERT_TRUE(meter.serve()) << zm.err();
	{
		subscriber sub(b.port());
		ASSERT_TRUE(sub.wait([&] { return sub.has(meter_status, "online"); })) << zm.err();
	}
	zm.signal(SIGTERM);
	auto status = zm.wait(5s);
	ASSERT_TRUE(status) << zm.err();
	EXPECT_EQ(*status, 0) << zm.err();

	// What a newcomer finds retained.
	subscriber sub(b.port(), "zelkor/#");
	ASSERT_TRUE(sub.wait([&] { return sub.last("zelkor/status") && sub.last(meter_status); }));
	for (const std::string &topic : {std::string("zelkor/status"), meter_status}) {
		EXPECT_EQ(sub.last(topic)->payload, "offline") << topic;
		EXPECT_TRUE(sub.last(topic)->retained) << topic;
	}
}

} // namespace
