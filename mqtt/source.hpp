// The sources stage: where a meter's bytes come from. A serial device and a
// TCP gateway are reopened with backoff for ever; a file, a FIFO and
// standard input are read to their end and are then finished.
#pragma once

#include <memory>
#include <string>

#include "clock.hpp"
#include "decoder.hpp"
#include "options.hpp"

namespace zmqtt {

class meters;

class source {
public:
	enum class kind { device, tcp, stream };

	// number: the source's position among all, from 1.
	source(const source_settings &s, size_t number, meters &to);
	~source();
	source(const source &) = delete;
	source &operator=(const source &) = delete;

	kind what() const { return kind_; }
	const std::string &name() const { return path_; }
	// A file waits for the broker rather than lose a reading.
	bool lossless() const { return kind_ == kind::stream; }
	bool finished() const { return finished_; }

	// For poll: the descriptor (-1 while closed) and what to wait for.
	int fd() const { return fd_; }
	short poll_events() const;
	void on_ready(short revents, time_point now);
	time_point deadline() const;
	void on_timer(time_point now);

private:
	void open(time_point now);
	void opened(time_point now);
	void failed(time_point now, const std::string &what, int error);
	void close_fd();
	void read_some(time_point now);

	kind kind_;
	std::string path_;
	std::string host_, port_; // tcp
	unsigned baud_;
	int fd_ = -1;
	bool connecting_ = false;
	bool finished_ = false;
	bool failing_ = false;
	bool got_bytes_ = false;
	int last_error_ = 0;
	millis backoff_{1000};
	time_point retry_at_{};
	time_point connect_deadline_ = never;
	std::unique_ptr<decoder> decoder_;
};

} // namespace zmqtt
