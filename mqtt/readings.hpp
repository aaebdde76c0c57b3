// The readings stage: each frame's readings become the meters' latest values,
// which go out on their topics as the broker, --interval and --on-change
// allow. What cannot go out now is kept, the latest value of each reading
// only, and goes out once the broker takes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "clock.hpp"
#include "options.hpp"
#include "payload.hpp"

namespace zmqtt {

class publisher;

class meters {
public:
	meters(const options &o, publisher &out);
	~meters();
	meters(const meters &) = delete;
	meters &operator=(const meters &) = delete;

	// One SML file, as the stream decoder of source number source (from 1)
	// found it. lossless: the source waits for the broker (a file), so its
	// readings go out even where a backlog would hold a meter's back.
	void on_frame(bytes file, size_t source, bool lossless, time_point now);

	// The broker took the connection: statuses, discovery configs and every
	// value kept go out.
	void on_connected(time_point now);
	// Home Assistant said it is online: the discovery configs again.
	void on_discovery_asked();
	// Values kept while the broker could not take them.
	bool pending() const { return pending_ > 0; }
	void flush(time_point now);

	// The silence timers.
	time_point deadline() const;
	void on_timer(time_point now);

	// Every meter goes offline: the clean end.
	void shutdown();

private:
	struct reading_state;
	struct meter;
	struct walk;

	meter *meter_for(bytes server_id, size_t source);
	void set_online(meter &m, bool online);
	bool settle(bool &pending, bool sent);
	void send_status(meter &m);
	void send_discovery(meter &m, reading_state &r);
	bool send_value(reading_state &r, bool lossless, time_point now);
	void send_state(meter &m, bool lossless, time_point now);
	void finish_frame(meter &m, bool lossless, time_point now);

	const options &o_;
	publisher &out_;
	std::vector<std::unique_ptr<meter>> meters_;
	meter *last_ = nullptr;
	size_t pending_ = 0;
	bool full_ = false;
	uint64_t frames_ = 0;
	std::string scratch_;
};

} // namespace zmqtt
