// The decoder stage: a source's bytes through the library's stream decoder;
// every intact frame's file goes to the readings stage.
#pragma once

#include <memory>
#include <string>

#include <sml/sml_stream.h>

#include "clock.hpp"
#include "payload.hpp"

namespace zmqtt {

class meters;

class decoder {
public:
	// source: the source's number (from 1) and its name, for the log.
	decoder(meters &to, size_t source, const std::string &name, bool lossless);
	decoder(const decoder &) = delete;
	decoder &operator=(const decoder &) = delete;

	void feed(bytes chunk, time_point now);
	// The stream ended or broke: a frame still open is dropped.
	void finish(time_point now);

	uint64_t frames() const { return frames_; }

private:
	static int on_frame(const sml_stream_frame *f, void *ctx);
	static int on_drop(const sml_stream_drop *d, void *ctx);

	// The longest frame taken, on the wire: well above any meter's.
	static constexpr size_t area_size = 16384;

	meters &to_;
	size_t source_;
	const std::string &name_;
	bool lossless_;
	time_point now_{};
	uint64_t frames_ = 0;
	std::unique_ptr<unsigned char[]> area_;
	sml_stream stream_;
};

} // namespace zmqtt
