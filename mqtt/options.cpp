#include "options.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <getopt.h>

#include <toml++/toml.h>

#include <sml/zelkor_version.h>
#include <zelkor/zelkor.hpp>

namespace zmqtt {
namespace {

const char usage_text[] =
	"Usage: zelkor-mqtt [OPTIONS] SOURCE...\n"
	"       zelkor-mqtt --help | --version\n"
	"Publishes the readings of SML meters to an MQTT broker, with Home Assistant discovery.\n"
	"SOURCE is a serial device (/dev/ttyUSB0), tcp://HOST:PORT, a file or FIFO, or - for stdin.\n"
	"  --broker URL          mqtt://[USER@]HOST[:PORT] or mqtts://... (mqtt://localhost:1883)\n"
	"  --cafile FILE         CA certificates to check an mqtts:// broker with\n"
	"  --config FILE         TOML configuration; the command line overrides it\n"
	"  --check-config        check the configuration and exit\n"
	"  --prefix P            topic prefix (zelkor)\n"
	"  --discovery-prefix D  Home Assistant discovery prefix (homeassistant)\n"
	"  --no-discovery        no Home Assistant discovery\n"
	"  --name SERVERID=NAME  topics of that meter under NAME instead of its server id\n"
	"  --baud N              speed of serial devices (9600)\n"
	"  --retain              retain readings and states\n"
	"  --interval S          at most one publish per reading per S seconds (0: every frame)\n"
	"  --on-change           only changed values, unchanged ones again after --heartbeat\n"
	"  --heartbeat S         (300)\n"
	"  --silence S           a meter is offline after S seconds without a frame (30)\n"
	"  --verbose, --quiet    more or fewer lines on stderr\n"
	"The broker's password comes from ZELKOR_MQTT_PASSWORD or the configuration file.\n";

constexpr unsigned speeds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

bool valid_baud(long long b) {
	for (unsigned s : speeds)
		if (b == s)
			return true;
	return false;
}

// Seconds as given (fractions allowed) in milliseconds; at most a year.
std::optional<millis> to_millis(double seconds, bool zero_allowed) {
	if (!std::isfinite(seconds) || seconds < 0 || seconds > 366.0 * 86400 || (!zero_allowed && seconds <= 0))
		return std::nullopt;
	return millis(std::llround(seconds * 1000));
}

std::optional<millis> parse_seconds(const char *text, bool zero_allowed) {
	char *end = nullptr;
	double v = std::strtod(text, &end);
	if (end == text || *end != '\0')
		return std::nullopt;
	return to_millis(v, zero_allowed);
}

// A server id in hex, any case, as lowercase hex.
std::optional<std::string> server_hex(const std::string &text) {
	if (text.empty() || text.size() % 2 != 0)
		return std::nullopt;
	std::string out;
	for (char c : text) {
		if (!std::isxdigit(static_cast<unsigned char>(c)))
			return std::nullopt;
		out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
	}
	return out;
}

std::optional<std::string> obis_bytes(const std::string &text) {
	auto code = zelkor::obis_code::parse(text);
	if (!code)
		return std::nullopt;
	return std::string(code->bytes.begin(), code->bytes.end());
}

bool valid_source(const std::string &path) {
	if (path.rfind("tcp://", 0) != 0)
		return !path.empty();
	std::string rest = path.substr(6);
	size_t colon = rest.rfind(':');
	if (colon == std::string::npos || colon == 0)
		return false;
	std::string host = rest.substr(0, colon), port = rest.substr(colon + 1);
	if (host.front() == '[' && host.back() == ']')
		host = host.substr(1, host.size() - 2);
	char *end = nullptr;
	long p = std::strtol(port.c_str(), &end, 10);
	return !host.empty() && host.find_first_of("/[]") == std::string::npos && !port.empty() && *end == '\0' &&
	       p > 0 && p < 65536;
}

// What the command line says, each only when given.
struct command_line {
	std::optional<std::string> broker, cafile, prefix, discovery_prefix;
	std::optional<bool> discovery, retain, on_change;
	std::optional<millis> interval, heartbeat, silence;
	std::optional<unsigned> baud;
	std::optional<log::level> level;
	std::vector<std::pair<std::string, std::string>> names; // server id, name
	std::vector<std::string> sources;
};

// ------------------------------------------------------------ configuration

class config_reader {
public:
	config_reader(const std::string &file, options &o) : file_(file), o_(o) {}

	void read() {
		toml::table root;
		try {
			root = toml::parse_file(file_);
		} catch (const toml::parse_error &e) {
			const auto &where = e.source().begin;
			if (!where)
				throw config_error(file_ + ": " + std::string(e.description()));
			throw config_error(file_ + ":" + std::to_string(where.line) + ": " + std::string(e.description()));
		}
		for (auto &&[k, node] : root) {
			std::string key(k.str());
			if (key == "broker") {
				auto url = parse_broker_url(text(node, key));
				if (!url)
					fail(node, key, "is no broker URL (mqtt://[USER@]HOST[:PORT] or mqtts://...)");
				o_.broker = *url;
			} else if (key == "password") {
				o_.password = text(node, key);
			} else if (key == "cafile") {
				o_.cafile = text(node, key);
			} else if (key == "prefix" || key == "discovery_prefix") {
				std::string value = text(node, key);
				if (const char *why = bad_name(value))
					fail(node, key, why);
				(key == "prefix" ? o_.prefix : o_.discovery_prefix) = value;
			} else if (key == "discovery") {
				o_.discovery = flag(node, key);
			} else if (key == "retain") {
				o_.retain = flag(node, key);
			} else if (key == "on_change") {
				o_.on_change = flag(node, key);
			} else if (key == "interval") {
				o_.interval = seconds(node, key, true);
			} else if (key == "heartbeat") {
				o_.heartbeat = seconds(node, key, false);
			} else if (key == "silence") {
				o_.silence = seconds(node, key, false);
			} else if (key == "baud") {
				o_.baud = baud(node, key);
			} else if (key == "log") {
				std::string l = text(node, key);
				if (l == "quiet")
					o_.level = log::level::quiet;
				else if (l == "normal")
					o_.level = log::level::normal;
				else if (l == "verbose")
					o_.level = log::level::verbose;
				else
					fail(node, key, "must be \"quiet\", \"normal\" or \"verbose\"");
			} else if (key == "skip") {
				o_.skip = skip(node, key);
			} else if (key == "source") {
				sources(node, key);
			} else if (key == "meter") {
				meters(node, key);
			} else {
				fail(node, key, "is no known key");
			}
		}
	}

private:
	[[noreturn]] void fail(const toml::node &node, const std::string &key, const std::string &why) const {
		std::string where = file_;
		if (node.source().begin)
			where += ":" + std::to_string(node.source().begin.line);
		throw config_error(where + ": " + key + ": " + why);
	}

	std::string text(const toml::node &node, const std::string &key) const {
		auto v = node.value<std::string>();
		if (!node.is_string() || !v)
			fail(node, key, "must be a string");
		return *v;
	}
	bool flag(const toml::node &node, const std::string &key) const {
		if (!node.is_boolean())
			fail(node, key, "must be true or false");
		return *node.value<bool>();
	}
	millis seconds(const toml::node &node, const std::string &key, bool zero_allowed) const {
		std::optional<millis> ms;
		if (node.is_number())
			ms = to_millis(*node.value<double>(), zero_allowed);
		if (!ms)
			fail(node, key, zero_allowed ? "must be a number of seconds, 0 or more"
						     : "must be a number of seconds above 0");
		return *ms;
	}
	unsigned baud(const toml::node &node, const std::string &key) const {
		if (!node.is_integer() || !valid_baud(*node.value<int64_t>()))
			fail(node, key, "must be one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
		return static_cast<unsigned>(*node.value<int64_t>());
	}
	std::vector<std::string> skip(const toml::node &node, const std::string &key) const {
		const toml::array *list = node.as_array();
		if (!list)
			fail(node, key, "must be a list of OBIS codes such as \"1-0:96.1.0*255\"");
		std::vector<std::string> codes;
		for (const toml::node &each : *list) {
			auto v = each.value<std::string>();
			auto code = each.is_string() && v ? obis_bytes(*v) : std::nullopt;
			if (!code)
				fail(each, key, "must hold OBIS codes such as \"1-0:96.1.0*255\"");
			codes.push_back(*code);
		}
		return codes;
	}

	// source = ["/dev/ttyUSB0", { path = "tcp://head:8888", baud = 300 }]
	// or [[source]] tables.
	void sources(const toml::node &node, const std::string &key) {
		const toml::array *list = node.as_array();
		if (!list)
			fail(node, key, "must be a list of sources");
		for (size_t i = 0; i < list->size(); i++) {
			const toml::node &each = *list->get(i);
			std::string name = key + "[" + std::to_string(i) + "]";
			source_settings s{"", 0};
			if (each.is_string()) {
				s.path = text(each, name);
			} else if (const toml::table *t = each.as_table()) {
				for (auto &&[k, v] : *t) {
					std::string field(k.str());
					if (field == "path")
						s.path = text(v, name + ".path");
					else if (field == "baud")
						s.baud = baud(v, name + ".baud");
					else
						fail(v, name + "." + field, "is no known key (path, baud)");
				}
				if (s.path.empty())
					fail(each, name, "has no path");
			} else {
				fail(each, name, "must be a path or a table with path and baud");
			}
			if (!valid_source(s.path))
				fail(each, name, "is no source (a path, - or tcp://HOST:PORT)");
			o_.sources.push_back(s);
		}
	}

	// [meter.0a01454d480000bc614e]  name = "house", interval = 10, skip = [...]
	void meters(const toml::node &node, const std::string &key) {
		const toml::table *all = node.as_table();
		if (!all)
			fail(node, key, "must be a table of meters by server id ([meter.0a01454d480000bc614e])");
		for (auto &&[id, each] : *all) {
			std::string name = key + "." + std::string(id.str());
			auto hex = server_hex(std::string(id.str()));
			if (!hex)
				fail(each, name, "is no server id in hexadecimal");
			const toml::table *t = each.as_table();
			if (!t)
				fail(each, name, "must be a table");
			meter_settings &m = o_.meters[*hex];
			for (auto &&[k, v] : *t) {
				std::string field(k.str());
				std::string full = name + "." + field;
				if (field == "name") {
					m.name = text(v, full);
					if (const char *why = bad_name(m.name))
						fail(v, full, why);
				} else if (field == "interval") {
					m.interval = seconds(v, full, true);
				} else if (field == "skip") {
					m.skip = skip(v, full);
				} else {
					fail(v, full, "is no known key (name, interval, skip)");
				}
			}
		}
	}

	std::string file_;
	options &o_;
};

// ------------------------------------------------------------- command line

[[noreturn]] void usage(const std::string &why) { throw usage_error(why + "\nTry 'zelkor-mqtt --help' for more.\n"); }

std::optional<command_line> read_command_line(int argc, char **argv, options &o) {
	enum {
		opt_help = 256, opt_version, opt_check, opt_verbose, opt_quiet, opt_retain, opt_interval, opt_on_change,
		opt_heartbeat, opt_silence, opt_baud, opt_name, opt_prefix, opt_discovery_prefix, opt_no_discovery,
		opt_broker, opt_cafile, opt_config
	};
	static const option long_options[] = {
		{"help", no_argument, nullptr, opt_help},
		{"version", no_argument, nullptr, opt_version},
		{"check-config", no_argument, nullptr, opt_check},
		{"verbose", no_argument, nullptr, opt_verbose},
		{"quiet", no_argument, nullptr, opt_quiet},
		{"retain", no_argument, nullptr, opt_retain},
		{"interval", required_argument, nullptr, opt_interval},
		{"on-change", no_argument, nullptr, opt_on_change},
		{"heartbeat", required_argument, nullptr, opt_heartbeat},
		{"silence", required_argument, nullptr, opt_silence},
		{"baud", required_argument, nullptr, opt_baud},
		{"name", required_argument, nullptr, opt_name},
		{"prefix", required_argument, nullptr, opt_prefix},
		{"discovery-prefix", required_argument, nullptr, opt_discovery_prefix},
		{"no-discovery", no_argument, nullptr, opt_no_discovery},
		{"broker", required_argument, nullptr, opt_broker},
		{"cafile", required_argument, nullptr, opt_cafile},
		{"config", required_argument, nullptr, opt_config},
		{nullptr, 0, nullptr, 0},
	};
	command_line c;
	opterr = 0;
	optind = 1;
	int opt;
	while ((opt = getopt_long(argc, argv, ":", long_options, nullptr)) != -1) {
		std::string arg = optarg ? optarg : "";
		auto secs = [&](const char *name, bool zero_allowed) {
			auto ms = parse_seconds(arg.c_str(), zero_allowed);
			if (!ms)
				usage(std::string(name) + " " + arg + ": " +
				      (zero_allowed ? "not a number of seconds, 0 or more" : "not a number of seconds above 0"));
			return *ms;
		};
		switch (opt) {
		case opt_help: std::fputs(usage_text, stdout); return std::nullopt;
		case opt_version: std::printf("zelkor-mqtt %s\n", ZELKOR_VERSION_STRING); return std::nullopt;
		case opt_check: o.check_config = true; break;
		case opt_verbose: c.level = log::level::verbose; break;
		case opt_quiet: c.level = log::level::quiet; break;
		case opt_retain: c.retain = true; break;
		case opt_on_change: c.on_change = true; break;
		case opt_no_discovery: c.discovery = false; break;
		case opt_interval: c.interval = secs("--interval", true); break;
		case opt_heartbeat: c.heartbeat = secs("--heartbeat", false); break;
		case opt_silence: c.silence = secs("--silence", false); break;
		case opt_baud: {
			char *end = nullptr;
			long long b = std::strtoll(arg.c_str(), &end, 10);
			if (end == arg.c_str() || *end != '\0' || !valid_baud(b))
				usage("--baud " + arg + ": not one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
			c.baud = static_cast<unsigned>(b);
			break;
		}
		case opt_name: {
			size_t eq = arg.find('=');
			auto hex = eq == std::string::npos ? std::nullopt : server_hex(arg.substr(0, eq));
			if (!hex)
				usage("--name " + arg + ": not SERVERID=NAME with the server id in hexadecimal");
			std::string name = arg.substr(eq + 1);
			if (const char *why = bad_name(name))
				usage("--name " + arg + ": the name " + why);
			c.names.emplace_back(*hex, name);
			break;
		}
		case opt_prefix:
		case opt_discovery_prefix:
			if (const char *why = bad_name(arg))
				usage(std::string(opt == opt_prefix ? "--prefix " : "--discovery-prefix ") + arg + ": " + why);
			(opt == opt_prefix ? c.prefix : c.discovery_prefix) = arg;
			break;
		case opt_broker:
			if (!parse_broker_url(arg))
				usage("--broker " + arg + ": not mqtt://[USER@]HOST[:PORT] or mqtts://[USER@]HOST[:PORT]");
			c.broker = arg;
			break;
		case opt_cafile: c.cafile = arg; break;
		case opt_config: o.config_file = arg; break;
		case ':': usage(std::string("option ") + argv[optind - 1] + " needs a value");
		default: usage(std::string("unknown option ") + argv[optind - 1]);
		}
	}
	for (int i = optind; i < argc; i++) {
		if (!valid_source(argv[i]))
			usage(std::string("source ") + argv[i] + ": not a path, - or tcp://HOST:PORT");
		c.sources.push_back(argv[i]);
	}
	return c;
}

} // namespace

const char *bad_name(const std::string &name) {
	if (name.empty())
		return "is empty";
	for (unsigned char ch : name) {
		if (ch == '/' || ch == '+' || ch == '#')
			return "holds /, + or #, which MQTT topics give a meaning of their own";
		if (ch < 0x20 || ch == 0x7f)
			return "holds a control character";
	}
	return nullptr;
}

std::optional<broker_url> parse_broker_url(const std::string &text) {
	broker_url url;
	url.text = text;
	std::string rest;
	if (text.rfind("mqtt://", 0) == 0) {
		rest = text.substr(7);
	} else if (text.rfind("mqtts://", 0) == 0) {
		rest = text.substr(8);
		url.tls = true;
		url.port = 8883;
	} else {
		return std::nullopt;
	}
	if (!rest.empty() && rest.back() == '/')
		rest.pop_back();
	size_t at = rest.rfind('@');
	if (at != std::string::npos) {
		url.user = rest.substr(0, at);
		rest = rest.substr(at + 1);
		// A password has no place on a command line, where every user sees it.
		if (url.user.empty() || url.user.find_first_of(":/") != std::string::npos)
			return std::nullopt;
	}
	std::string port;
	if (!rest.empty() && rest.front() == '[') {
		size_t close = rest.find(']');
		if (close == std::string::npos)
			return std::nullopt;
		url.host = rest.substr(1, close - 1);
		std::string after = rest.substr(close + 1);
		if (!after.empty()) {
			if (after.front() != ':')
				return std::nullopt;
			port = after.substr(1);
			if (port.empty())
				return std::nullopt;
		}
	} else {
		size_t colon = rest.find(':');
		url.host = rest.substr(0, colon);
		if (colon != std::string::npos) {
			port = rest.substr(colon + 1);
			if (port.empty())
				return std::nullopt;
		}
	}
	if (url.host.empty() || url.host.find_first_of("/?#@[] ") != std::string::npos)
		return std::nullopt;
	if (!port.empty()) {
		char *end = nullptr;
		long p = std::strtol(port.c_str(), &end, 10);
		if (*end != '\0' || !std::isdigit(static_cast<unsigned char>(port[0])) || p <= 0 || p > 65535)
			return std::nullopt;
		url.port = static_cast<int>(p);
	}
	return url;
}

std::optional<options> load_options(int argc, char **argv) {
	options o;
	o.broker = *parse_broker_url("mqtt://localhost:1883");
	auto c = read_command_line(argc, argv, o);
	if (!c)
		return std::nullopt;
	if (!o.config_file.empty())
		config_reader(o.config_file, o).read();

	if (c->broker)
		o.broker = *parse_broker_url(*c->broker);
	if (c->cafile)
		o.cafile = *c->cafile;
	if (c->prefix)
		o.prefix = *c->prefix;
	if (c->discovery_prefix)
		o.discovery_prefix = *c->discovery_prefix;
	if (c->discovery)
		o.discovery = *c->discovery;
	if (c->retain)
		o.retain = *c->retain;
	if (c->on_change)
		o.on_change = *c->on_change;
	if (c->interval)
		o.interval = *c->interval;
	if (c->heartbeat)
		o.heartbeat = *c->heartbeat;
	if (c->silence)
		o.silence = *c->silence;
	if (c->level)
		o.level = *c->level;
	for (auto &[id, name] : c->names)
		o.meters[id].name = name;
	// Sources of the configuration without a speed of their own take the
	// configuration's, or the command line's.
	unsigned baud = c->baud ? *c->baud : o.baud;
	for (auto &s : o.sources)
		if (s.baud == 0)
			s.baud = baud;
	if (!c->sources.empty()) {
		o.sources.clear();
		for (auto &s : c->sources)
			o.sources.push_back({s, baud});
	}
	o.baud = baud;

	if (const char *env = std::getenv("ZELKOR_MQTT_PASSWORD"); env && *env)
		o.password = env;
	if (!o.cafile.empty() && !o.broker.tls) {
		if (c->cafile)
			usage("--cafile needs an mqtts:// broker");
		throw config_error(o.config_file + ": cafile: needs an mqtts:// broker");
	}
	if (!o.password.empty() && o.broker.user.empty()) {
		std::string why = "a password needs a user in the broker URL (mqtt://USER@HOST)";
		if (o.config_file.empty())
			usage(why);
		throw config_error(o.config_file + ": broker: " + why);
	}
	if (o.sources.empty() && !o.check_config)
		usage("no source given");
	size_t stdin_sources = 0;
	for (auto &s : o.sources)
		stdin_sources += s.path == "-";
	if (stdin_sources > 1)
		usage("standard input (-) given more than once");
	return o;
}

} // namespace zmqtt
