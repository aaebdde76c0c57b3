#include "publisher.hpp"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

#include <mosquitto.h>

#include "log.hpp"

namespace zmqtt {
namespace {

constexpr int keepalive_s = 60;
// libmosquitto pings only when asked to look: a quarter of the keepalive
// keeps its ping well inside the broker's 1.5 times.
constexpr millis misc_every{keepalive_s * 1000 / 4};
constexpr millis connect_timeout{10'000};
constexpr millis max_backoff{30'000};

// The broker's addresses in turn, one per attempt: libmosquitto tries only
// the first address that does not fail at once, and localhost is ::1 first
// on many systems while a broker may listen on 127.0.0.1 alone. With TLS the
// name itself goes, for the certificate's sake.
std::string address(const broker_url &broker, unsigned attempt) {
	if (broker.tls)
		return broker.host;
	addrinfo hints{};
	hints.ai_socktype = SOCK_STREAM;
	addrinfo *found = nullptr;
	if (getaddrinfo(broker.host.c_str(), nullptr, &hints, &found) != 0)
		return broker.host;
	std::vector<std::string> all;
	for (addrinfo *a = found; a; a = a->ai_next) {
		char text[INET6_ADDRSTRLEN];
		const void *where = a->ai_family == AF_INET6
					    ? static_cast<const void *>(&reinterpret_cast<sockaddr_in6 *>(a->ai_addr)->sin6_addr)
					    : static_cast<const void *>(&reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr);
		if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) && inet_ntop(a->ai_family, where, text, sizeof text))
			all.push_back(text);
	}
	freeaddrinfo(found);
	return all.empty() ? broker.host : all[attempt % all.size()];
}

std::string client_id() {
	char host[64] = "";
	gethostname(host, sizeof host - 1);
	return "zelkor-mqtt-" + std::string(host) + "-" + std::to_string(getpid());
}

} // namespace

publisher::publisher(const options &o, events &e)
	: o_(o), events_(e), status_topic_(o.prefix + "/status"), ha_status_topic_(o.discovery_prefix + "/status") {
	mosquitto_lib_init();
	m_ = mosquitto_new(client_id().c_str(), true, this);
	if (!m_)
		throw std::bad_alloc();
	mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
	mosquitto_will_set(m_, status_topic_.c_str(), 7, "offline", 1, true);
	if (!o.broker.user.empty())
		mosquitto_username_pw_set(m_, o.broker.user.c_str(), o.password.empty() ? nullptr : o.password.c_str());
	if (o.broker.tls) {
		int rc = mosquitto_tls_set(m_, o.cafile.empty() ? nullptr : o.cafile.c_str(),
					   o.cafile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
		if (rc != MOSQ_ERR_SUCCESS)
			throw config_error("--cafile " + o.cafile + ": " + mosquitto_strerror(rc));
	}
	mosquitto_connect_callback_set(m_, on_connect);
	mosquitto_disconnect_callback_set(m_, on_disconnect);
	mosquitto_publish_callback_set(m_, on_publish);
	mosquitto_message_callback_set(m_, on_message);
	retry_at_ = steady::now();
}

publisher::~publisher() {
	mosquitto_destroy(m_);
	mosquitto_lib_cleanup();
}

int publisher::fd() const {
	if (state_ != state::connecting && state_ != state::connected && state_ != state::closing)
		return -1;
	return mosquitto_socket(m_);
}

short publisher::poll_events() const { return static_cast<short>(POLLIN | (mosquitto_want_write(m_) ? POLLOUT : 0)); }

bool publisher::ready() const { return state_ == state::connected && !mosquitto_want_write(m_); }

time_point publisher::deadline() const {
	switch (state_) {
	case state::waiting: return retry_at_;
	case state::connecting: return connect_deadline_;
	case state::connected:
	case state::closing: return misc_at_;
	case state::closed: break;
	}
	return never;
}

void publisher::attempt(time_point now) {
	state_ = state::connecting;
	connect_deadline_ = now + connect_timeout;
	errno = 0;
	int rc = mosquitto_connect_async(m_, address(o_.broker, failures_).c_str(), o_.broker.port, keepalive_s);
	if (rc != MOSQ_ERR_SUCCESS)
		lost(now, rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
}

void publisher::lost(time_point now, const char *why) {
	bool was_connected = state_ == state::connected || state_ == state::closing;
	state_ = state::waiting;
	unacknowledged_.clear();
	retry_at_ = now + backoff_;
	if (was_connected)
		log::info("broker %s: connection lost (%s), reconnecting", o_.broker.text.c_str(), why);
	else if (!failing_)
		log::info("broker %s: cannot connect (%s), retrying", o_.broker.text.c_str(), why);
	else
		log::debug("broker %s: cannot connect (%s), next try in %lld ms", o_.broker.text.c_str(), why,
			   static_cast<long long>(backoff_.count()));
	failing_ = true;
	if (!was_connected)
		failures_++;
	backoff_ = std::min(backoff_ * 2, max_backoff);
}

void publisher::on_connect(mosquitto *, void *p, int rc) {
	auto &self = *static_cast<publisher *>(p);
	if (rc != 0) {
		// The broker closes the connection; the read that sees it retries.
		log::info("broker %s: refused the connection (%s)", self.o_.broker.text.c_str(),
			  mosquitto_connack_string(rc));
		self.failing_ = true;
		return;
	}
	log::info("broker %s: connected", self.o_.broker.text.c_str());
	self.state_ = state::connected;
	self.failing_ = false;
	self.backoff_ = millis(1000);
	self.misc_at_ = self.now_ + misc_every;
	int mid;
	if (mosquitto_publish(self.m_, &mid, self.status_topic_.c_str(), 6, "online", 1, true) == MOSQ_ERR_SUCCESS)
		self.unacknowledged_.insert(mid);
	if (self.o_.discovery)
		mosquitto_subscribe(self.m_, nullptr, self.ha_status_topic_.c_str(), 1);
	self.events_.connected(self.now_);
	if (self.closing_)
		self.close();
}

void publisher::on_disconnect(mosquitto *, void *p, int rc) {
	auto &self = *static_cast<publisher *>(p);
	if (self.state_ == state::closed)
		return;
	self.lost(self.now_, rc == MOSQ_ERR_SUCCESS ? "disconnected" : mosquitto_strerror(rc));
}

void publisher::on_publish(mosquitto *, void *p, int mid) { static_cast<publisher *>(p)->unacknowledged_.erase(mid); }

void publisher::on_message(mosquitto *, void *p, const mosquitto_message *msg) {
	auto &self = *static_cast<publisher *>(p);
	// A retained birth message is old news: the configs went out on connecting.
	if (msg->retain || self.ha_status_topic_ != msg->topic)
		return;
	std::string_view payload(static_cast<const char *>(msg->payload), static_cast<size_t>(msg->payloadlen));
	if (payload == "online") {
		log::debug("%s: online, sending the discovery configs again", msg->topic);
		self.events_.discovery_asked();
	}
}

void publisher::check_socket(time_point now) {
	if ((state_ == state::connecting || state_ == state::connected || state_ == state::closing) &&
	    mosquitto_socket(m_) < 0)
		lost(now, "socket closed");
}

void publisher::on_ready(short revents, time_point now) {
	now_ = now;
	if (revents & (POLLIN | POLLHUP | POLLERR))
		mosquitto_loop_read(m_, 1);
	if (fd() >= 0 && (revents & POLLOUT))
		mosquitto_loop_write(m_, 1);
	check_socket(now);
	if (state_ == state::closing && unacknowledged_.empty())
		finish_close();
}

void publisher::on_timer(time_point now) {
	now_ = now;
	switch (state_) {
	case state::waiting:
		if (now >= retry_at_)
			attempt(now);
		break;
	case state::connecting:
		if (now >= connect_deadline_)
			lost(now, "no answer in time");
		break;
	case state::connected:
	case state::closing:
		if (now >= misc_at_) {
			mosquitto_loop_misc(m_);
			misc_at_ = now + misc_every;
			check_socket(now);
		}
		break;
	case state::closed: break;
	}
}

bool publisher::publish(const std::string &topic, std::string_view payload, bool retain, int qos, bool force) {
	if (state_ != state::connected && state_ != state::closing)
		return false;
	if (!force && mosquitto_want_write(m_))
		return false;
	int mid = 0;
	int rc = mosquitto_publish(m_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
	if (rc != MOSQ_ERR_SUCCESS) {
		log::debug("publish %s: %s", topic.c_str(), mosquitto_strerror(rc));
		return false;
	}
	if (qos > 0)
		unacknowledged_.insert(mid);
	return true;
}

void publisher::close() {
	closing_ = true;
	if (state_ != state::connected) {
		if (state_ != state::closing)
			finish_close();
		return;
	}
	int mid;
	if (mosquitto_publish(m_, &mid, status_topic_.c_str(), 7, "offline", 1, true) == MOSQ_ERR_SUCCESS)
		unacknowledged_.insert(mid);
	state_ = state::closing;
	if (unacknowledged_.empty())
		finish_close();
}

void publisher::finish_close() {
	bool open = state_ == state::connected || state_ == state::closing;
	state_ = state::closed;
	if (open) {
		mosquitto_disconnect(m_);
		// A DISCONNECT of two bytes: the socket takes it at once.
		if (mosquitto_want_write(m_))
			mosquitto_loop_write(m_, 1);
	}
}

} // namespace zmqtt
