// The sink: one MQTT connection through libmosquitto, driven from the
// bridge's own poll loop (no thread of libmosquitto's). It connects, and
// reconnects for ever with backoff, and keeps P/status: online once
// connected, offline as its will and on a clean end.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "clock.hpp"
#include "options.hpp"

struct mosquitto;
struct mosquitto_message;

namespace zmqtt {

class publisher {
public:
	struct events {
		virtual void connected(time_point now) = 0;
		virtual void discovery_asked() = 0;

	protected:
		~events() = default;
	};

	publisher(const options &o, events &e);
	~publisher();
	publisher(const publisher &) = delete;
	publisher &operator=(const publisher &) = delete;

	// For poll: the socket (-1 without one) and what to wait for.
	int fd() const;
	short poll_events() const;
	void on_ready(short revents, time_point now);
	time_point deadline() const;
	void on_timer(time_point now);

	bool connected() const { return state_ == state::connected || state_ == state::closing; }
	// Connected, with nothing left to write: a meter's value goes out now.
	bool ready() const;

	// Sends a message; false when it cannot go now: not connected, or
	// (unless force) still writing earlier ones. The caller keeps it.
	bool publish(const std::string &topic, std::string_view payload, bool retain, int qos, bool force);

	// The clean end: P/status offline, every message acknowledged, then
	// DISCONNECT. Done at once without a connection.
	void close();
	bool closed() const { return state_ == state::closed; }

private:
	enum class state { waiting, connecting, connected, closing, closed };

	void attempt(time_point now);
	void lost(time_point now, const char *why);
	void check_socket(time_point now);
	void finish_close();
	static void on_connect(mosquitto *, void *self, int rc);
	static void on_disconnect(mosquitto *, void *self, int rc);
	static void on_publish(mosquitto *, void *self, int mid);
	static void on_message(mosquitto *, void *self, const mosquitto_message *msg);

	const options &o_;
	events &events_;
	mosquitto *m_ = nullptr;
	state state_ = state::waiting;
	bool closing_ = false; // close() asked for, maybe before a reconnect
	bool failing_ = false; // the last attempt failed: no more lines until it works
	unsigned failures_ = 0; // attempts that failed, for the address to try next
	std::string status_topic_;
	std::string ha_status_topic_;
	millis backoff_{1000};
	time_point retry_at_{};
	time_point connect_deadline_ = never;
	time_point misc_at_ = never;
	std::set<int> unacknowledged_;
	time_point now_{}; // for the callbacks
};

} // namespace zmqtt
