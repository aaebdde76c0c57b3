// What the bridge is told: the command line over the TOML configuration.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "log.hpp"

namespace zmqtt {

using millis = std::chrono::milliseconds;

// Exit statuses.
enum : int { exit_ok = 0, exit_usage = 1, exit_config = 2 };

// Wrong usage (status 1) and a bad configuration file (status 2); the text
// names the culprit.
struct usage_error : std::runtime_error {
	using std::runtime_error::runtime_error;
};
struct config_error : std::runtime_error {
	using std::runtime_error::runtime_error;
};

struct broker_url {
	bool tls = false;
	std::string user; // empty: none
	std::string host;
	int port = 1883;
	std::string text; // as given, for the log
};

struct source_settings {
	std::string path; // a path, "-" or tcp://HOST:PORT
	unsigned baud = 9600;
};

// Settings of one meter, by its server id.
struct meter_settings {
	std::string name; // empty: the server id in hex
	std::optional<millis> interval;
	std::vector<std::string> skip; // six-byte names
};

struct options {
	std::string config_file;
	bool check_config = false;
	log::level level = log::level::normal;

	broker_url broker;
	std::string password;
	std::string cafile;

	std::string prefix = "zelkor";
	std::string discovery_prefix = "homeassistant";
	bool discovery = true;
	bool retain = false;
	bool on_change = false;
	millis interval{0};
	millis heartbeat{300'000};
	millis silence{30'000};
	unsigned baud = 9600;

	std::vector<source_settings> sources;
	std::map<std::string, meter_settings> meters; // by server id in lowercase hex
	std::vector<std::string> skip;                // for every meter

	const meter_settings *meter(const std::string &server_hex) const {
		auto it = meters.find(server_hex);
		return it == meters.end() ? nullptr : &it->second;
	}
};

// Reads the command line and the configuration file it names. Returns
// nothing when --help or --version was answered on stdout. Throws
// usage_error or config_error.
std::optional<options> load_options(int argc, char **argv);

// Parses mqtt://[USER@]HOST[:PORT] and mqtts://...; nothing for anything else.
std::optional<broker_url> parse_broker_url(const std::string &text);

// Why a meter name or topic prefix cannot be used, or nullptr.
const char *bad_name(const std::string &name);

} // namespace zmqtt
