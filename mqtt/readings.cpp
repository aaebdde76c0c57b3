#include "readings.hpp"

#include <algorithm>
#include <cstring>

#include <sml/sml_obis.h>
#include <zelkor/zelkor.hpp>

#include "log.hpp"
#include "publisher.hpp"

namespace zmqtt {
namespace {

// What one process keeps at most: far above any real installation, so that
// a line that delivers garbage with valid CRCs cannot grow it without end.
constexpr size_t max_meters = 1024;
constexpr size_t max_readings = 512; // per meter

} // namespace

struct meters::reading_state {
	std::string name;  // the entry's name, its bytes
	std::string topic; // P/M/A-B:C.D.E*F
	std::string value; // the latest, as on its topic
	std::string json;  // the latest, as in the state
	std::string published;
	std::string unit;
	std::string time; // the entry's own time, as a JSON member with its comma
	uint64_t status = 0;
	bool has_status = false;
	bool obis = false;
	bool numeric = false;
	bool skip = false;
	bool has_unit = false;
	unsigned char unit_code = 0;
	int scaler = 0;
	bool pending = false;
	bool discovered = false;
	bool ever = false; // published at least once
	uint64_t frame = 0;
	time_point last_publish{};

	const unsigned char *code() const { return reinterpret_cast<const unsigned char *>(name.data()); }
};

struct meters::meter {
	std::string server; // the server id's bytes; empty without one
	size_t source = 0;  // without a server id: the source it came from
	std::string key;    // the server id in hex, or sourceN
	std::string id;     // M: the name given, else the key
	std::string manufacturer;
	const meter_settings *settings = nullptr;
	millis interval{0};
	std::string status_topic, state_topic;
	std::vector<reading_state> readings;

	bool online = false;
	bool ever_online = false;
	bool status_pending = false;
	time_point last_frame{};

	bool in_frame = false;
	std::string meter_time; // as a JSON member with its comma
	std::string state;            // the latest frame's state
	std::string state_readings;   // its readings part, for --on-change
	std::string published_readings;
	bool state_pending = false;
	bool state_ever = false;
	time_point state_published{};
};

struct meters::walk {
	meters &self;
	size_t source;
	bool lossless;
	time_point now;
	std::vector<meter *> touched;
};

meters::meters(const options &o, publisher &out) : o_(o), out_(out) {}
meters::~meters() = default;

meters::meter *meters::meter_for(bytes server_id, size_t source) {
	std::string_view server(reinterpret_cast<const char *>(server_id.data()), server_id.size());
	auto same = [&](const meter &m) { return m.server == server && (!server.empty() || m.source == source); };
	if (last_ && same(*last_))
		return last_;
	for (auto &m : meters_)
		if (same(*m))
			return last_ = m.get();
	if (meters_.size() >= max_meters) {
		if (!full_)
			log::error("more than %zu meters: readings of new ones are left out", max_meters);
		full_ = true;
		return nullptr;
	}

	auto m = std::make_unique<meter>();
	m->server = server;
	m->source = source;
	if (server.empty())
		m->key = "source" + std::to_string(source);
	else
		append_hex(m->key, server_id);
	m->settings = o_.meter(m->key);
	m->id = m->settings && !m->settings->name.empty() ? m->settings->name : m->key;
	m->interval = m->settings && m->settings->interval ? *m->settings->interval : o_.interval;
	m->manufacturer = manufacturer(server_id);
	m->status_topic = o_.prefix + "/" + m->id + "/status";
	m->state_topic = o_.prefix + "/" + m->id + "/state";
	meters_.push_back(std::move(m));
	return last_ = meters_.back().get();
}

// A message the broker could not take yet stays pending, counted once,
// until a later try gets it out.
bool meters::settle(bool &pending, bool sent) {
	if (sent && pending)
		pending_--;
	else if (!sent && !pending)
		pending_++;
	pending = !sent;
	return sent;
}

void meters::send_status(meter &m) {
	settle(m.status_pending, out_.publish(m.status_topic, m.online ? "online" : "offline", true, 1, true));
}

void meters::set_online(meter &m, bool online) {
	if (online)
		log::info("meter %s: online%s", m.id.c_str(), m.ever_online ? " again" : "");
	else
		log::info("meter %s: offline, no frame for %g s", m.id.c_str(),
			  static_cast<double>(o_.silence.count()) / 1000);
	m.ever_online |= online;
	m.online = online;
	send_status(m);
}

void meters::send_discovery(meter &m, reading_state &r) {
	if (!o_.discovery || !r.numeric || !r.obis || r.skip || !out_.connected())
		return;
	const unsigned char *c = r.code();
	std::string object = "obis_";
	append_obis(object, c, '_', '_', '_', '_');
	std::string topic = o_.discovery_prefix + "/sensor/" + node_id(m.id) + "/" + object + "/config";

	std::string &j = scratch_;
	j.clear();
	j += "{\"name\":";
	const char *name = sml_obis_name(c, 6);
	if (name) {
		append_json_string(j, name);
	} else {
		std::string code;
		append_obis(code, c);
		append_json_string(j, code);
	}
	j += ",\"unique_id\":";
	append_json_string(j, "zelkor_" + m.key + "_" + object);
	j += ",\"state_topic\":";
	append_json_string(j, r.topic);
	sensor_classes classes = classes_of(c, r.has_unit, r.unit_code);
	if (classes.unit) {
		j += ",\"unit_of_measurement\":";
		append_json_string(j, classes.unit);
	}
	if (classes.device_class) {
		j += ",\"device_class\":";
		append_json_string(j, classes.device_class);
	}
	if (classes.state_class) {
		j += ",\"state_class\":";
		append_json_string(j, classes.state_class);
	}
	j += ",\"suggested_display_precision\":" + std::to_string(r.scaler < 0 ? -r.scaler : 0);
	j += ",\"availability\":[{\"topic\":";
	append_json_string(j, o_.prefix + "/status");
	j += "},{\"topic\":";
	append_json_string(j, m.status_topic);
	j += "}],\"availability_mode\":\"all\",\"device\":{\"identifiers\":[";
	append_json_string(j, "zelkor_" + m.key);
	j += "],\"name\":";
	append_json_string(j, m.settings && !m.settings->name.empty() ? m.id : "Meter " + m.key);
	if (!m.manufacturer.empty()) {
		j += ",\"manufacturer\":";
		append_json_string(j, m.manufacturer);
	}
	if (!m.server.empty()) {
		j += ",\"serial_number\":";
		append_json_string(j, m.key);
	}
	j += "}}";
	if (out_.publish(topic, j, true, 1, true))
		r.discovered = true;
}

bool meters::send_value(reading_state &r, bool lossless, time_point now) {
	if (!settle(r.pending, out_.publish(r.topic, r.value, o_.retain, 0, lossless)))
		return false;
	r.published = r.value;
	r.ever = true;
	r.last_publish = now;
	return true;
}

void meters::send_state(meter &m, bool lossless, time_point now) {
	if (!settle(m.state_pending, out_.publish(m.state_topic, m.state, o_.retain, 0, lossless)))
		return;
	m.state_ever = true;
	m.state_published = now;
	m.published_readings = m.state_readings;
}

void meters::on_frame(bytes file, size_t source, bool lossless, time_point now) {
	frames_++;
	walk w{*this, source, lossless, now, {}};
	int n = sml_readings(
		file.data(), file.size(),
		[](const sml_reading *r, void *ctx) -> int {
			auto &w = *static_cast<walk *>(ctx);
			auto &self = w.self;
			if (r->reason != SML_READING_OK) {
				log::debug("source %zu: %s at byte %zu of a frame is unreadable, skipped", w.source,
					   r->reason == SML_READING_BROKEN ? "the file" : "an entry", r->offset);
				return 0;
			}
			std::string &text = self.scratch_;
			text.clear();
			if (!append_value(text, *r, false))
				return 0;

			meter *found = self.meter_for({r->server_id.data, r->server_id.data ? r->server_id.len : 0},
						      w.source);
			if (!found)
				return 0;
			meter &m = *found;
			if (!m.in_frame) {
				m.in_frame = true;
				m.last_frame = w.now;
				m.meter_time.clear();
				m.state_readings.clear();
				w.touched.push_back(&m);
				if (!m.online)
					self.set_online(m, true);
			}
			if (m.meter_time.empty())
				append_time_member(m.meter_time, r->sensor_time, "meter_seconds", "meter_time");

			std::string_view name(reinterpret_cast<const char *>(r->name.data), r->name.data ? r->name.len : 0);
			auto it = std::find_if(m.readings.begin(), m.readings.end(),
					       [&](const reading_state &s) { return s.name == name; });
			if (it == m.readings.end()) {
				if (m.readings.size() >= max_readings) {
					log::debug("meter %s: more than %zu readings, a new one left out", m.id.c_str(),
						   max_readings);
					return 0;
				}
				reading_state s;
				s.name = name;
				s.obis = (r->flags & SML_READING_HAS_OBIS) != 0;
				s.topic = self.o_.prefix + "/" + m.id + "/";
				if (s.obis) {
					append_obis(s.topic, r->obis);
				} else {
					s.topic += "name/";
					append_hex(s.topic, {r->name.data, r->name.data ? r->name.len : 0});
				}
				auto skipped = [&](const std::vector<std::string> &list) {
					return std::find(list.begin(), list.end(), s.name) != list.end();
				};
				s.skip = s.obis && (skipped(self.o_.skip) || (m.settings && skipped(m.settings->skip)));
				m.readings.push_back(std::move(s));
				it = m.readings.end() - 1;
			}
			reading_state &s = *it;
			s.value.swap(text);
			s.json.clear();
			append_value(s.json, *r, true);
			s.numeric = r->kind == SML_READING_SIGNED || r->kind == SML_READING_UNSIGNED;
			s.has_unit = (r->flags & SML_READING_HAS_UNIT) != 0;
			s.unit_code = r->unit;
			s.scaler = r->flags & SML_READING_HAS_SCALER ? r->scaler : 0;
			const char *unit = s.has_unit ? unit_symbol(r->unit) : nullptr;
			s.unit = unit ? unit : "";
			s.has_status = (r->flags & SML_READING_HAS_STATUS) != 0;
			s.status = r->status;
			s.time.clear();
			append_time_member(s.time, r->val_time, "seconds", "time");
			s.frame = self.frames_;
			if (s.skip)
				return 0;
			if (!s.discovered)
				self.send_discovery(m, s);

			const options &o = self.o_;
			bool due = !(m.interval.count() > 0 && s.ever && w.now - s.last_publish < m.interval);
			if (due && o.on_change && s.ever && s.value == s.published && w.now - s.last_publish < o.heartbeat)
				due = false;
			if (due)
				self.send_value(s, w.lossless, w.now);
			return 0;
		},
		&w);
	if (n < 0)
		log::debug("source %zu: a frame that holds no SML file, skipped", source);
	for (meter *m : w.touched)
		finish_frame(*m, lossless, now);
}

void meters::finish_frame(meter &m, bool lossless, time_point now) {
	m.in_frame = false;
	std::string &r = m.state_readings;
	r += '{';
	bool first = true;
	for (const reading_state &s : m.readings) {
		if (s.frame != frames_ || s.skip)
			continue;
		if (!first)
			r += ',';
		first = false;
		if (s.obis) {
			std::string code;
			append_obis(code, s.code());
			append_json_string(r, code);
		} else {
			std::string hex;
			append_hex(hex, {s.code(), s.name.size()});
			append_json_string(r, hex);
		}
		r += ":{\"value\":";
		r += s.json;
		if (!s.unit.empty()) {
			r += ",\"unit\":";
			append_json_string(r, s.unit);
		}
		if (s.has_status)
			r += ",\"status\":" + std::to_string(s.status);
		r += s.time;
		r += '}';
	}
	r += '}';

	std::string &j = m.state;
	j.clear();
	j += "{\"meter\":";
	append_json_string(j, m.id);
	if (!m.server.empty()) {
		j += ",\"server_id\":\"";
		j += m.key;
		j += '"';
	}
	j += m.meter_time;
	j += ",\"received\":\"";
	append_utc_millis(j, wall_millis());
	j += "\",\"readings\":";
	j += r;
	j += '}';

	bool due = !(m.interval.count() > 0 && m.state_ever && now - m.state_published < m.interval);
	if (due && o_.on_change && m.state_ever && m.state_readings == m.published_readings &&
	    now - m.state_published < o_.heartbeat)
		due = false;
	if (due)
		send_state(m, lossless, now);
}

void meters::on_connected(time_point now) {
	for (auto &m : meters_) {
		send_status(*m);
		for (auto &r : m->readings) {
			r.discovered = false;
			send_discovery(*m, r);
		}
	}
	flush(now);
}

void meters::on_discovery_asked() {
	for (auto &m : meters_)
		for (auto &r : m->readings)
			send_discovery(*m, r);
}

void meters::flush(time_point now) {
	for (auto &m : meters_) {
		if (m->status_pending)
			send_status(*m);
		for (auto &r : m->readings)
			if (r.pending && !send_value(r, false, now))
				return;
		if (m->state_pending)
			send_state(*m, false, now);
		if (m->state_pending)
			return;
	}
}

time_point meters::deadline() const {
	time_point next = never;
	for (const auto &m : meters_)
		if (m->online)
			next = std::min(next, m->last_frame + o_.silence);
	return next;
}

void meters::on_timer(time_point now) {
	for (auto &m : meters_)
		if (m->online && now - m->last_frame >= o_.silence)
			set_online(*m, false);
}

void meters::shutdown() {
	for (auto &m : meters_) {
		if (m->online) {
			m->online = false;
			send_status(*m);
		}
	}
}

} // namespace zmqtt
