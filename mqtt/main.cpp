// zelkor-mqtt: publishes the readings of SML meters on serial lines, TCP
// gateways and files to an MQTT broker, with Home Assistant discovery.
#include <cstdio>
#include <exception>

#include "bridge.hpp"
#include "log.hpp"
#include "options.hpp"

int main(int argc, char **argv) {
	using namespace zmqtt;
	try {
		auto o = load_options(argc, argv);
		if (!o)
			return exit_ok;
		log::set_level(o->level);
		if (o->check_config) {
			std::printf("%s: configuration valid, %zu source%s, broker %s\n",
				    o->config_file.empty() ? "command line" : o->config_file.c_str(), o->sources.size(),
				    o->sources.size() == 1 ? "" : "s", o->broker.text.c_str());
			return exit_ok;
		}
		bridge b(*o);
		return b.run();
	} catch (const usage_error &e) {
		std::fprintf(stderr, "zelkor-mqtt: %s", e.what());
		return exit_usage;
	} catch (const config_error &e) {
		std::fprintf(stderr, "zelkor-mqtt: %s\n", e.what());
		return exit_config;
	} catch (const std::exception &e) {
		std::fprintf(stderr, "zelkor-mqtt: %s\n", e.what());
		return exit_usage;
	}
}
