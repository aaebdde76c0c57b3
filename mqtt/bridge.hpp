// The event loop: sources -> decoder -> readings -> publisher, all in one
// poll(2), woken only by descriptors and the nearest timer.
#pragma once

#include <memory>
#include <vector>

#include "options.hpp"
#include "publisher.hpp"
#include "readings.hpp"
#include "source.hpp"

namespace zmqtt {

class bridge : private publisher::events {
public:
	explicit bridge(const options &o);
	~bridge();
	// Runs until SIGTERM or SIGINT, or until every source has finished and
	// everything is delivered. Returns the exit status.
	int run();

private:
	void connected(time_point now) override;
	void discovery_asked() override;
	void begin_end(time_point now, millis limit);

	const options &o_;
	publisher out_;
	meters meters_;
	std::vector<std::unique_ptr<source>> sources_;
	int signal_fd_ = -1;
	bool ending_ = false;
	time_point end_deadline_ = never;
};

} // namespace zmqtt
