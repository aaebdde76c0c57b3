#include "decoder.hpp"

#include <cinttypes>

#include "log.hpp"
#include "readings.hpp"

namespace zmqtt {

decoder::decoder(meters &to, size_t source, const std::string &name, bool lossless)
	: to_(to), source_(source), name_(name), lossless_(lossless), area_(new unsigned char[area_size]) {
	sml_stream_init(&stream_, area_.get(), area_size, on_frame, on_drop, this);
}

void decoder::feed(bytes chunk, time_point now) {
	now_ = now;
	sml_stream_feed(&stream_, chunk.data(), chunk.size());
}

void decoder::finish(time_point now) {
	now_ = now;
	sml_stream_finish(&stream_);
}

int decoder::on_frame(const sml_stream_frame *f, void *ctx) {
	auto &self = *static_cast<decoder *>(ctx);
	self.frames_++;
	self.to_.on_frame({f->file, f->file_len}, self.source_, self.lossless_, self.now_);
	return 0;
}

int decoder::on_drop(const sml_stream_drop *d, void *ctx) {
	auto &self = *static_cast<decoder *>(ctx);
	// A noisy optical line drops frames all day: worth a line when asked for.
	if (d->reason == SML_STREAM_NOISE)
		log::debug("%s: %" PRIu64 " bytes outside any frame, skipped", self.name_.c_str(), d->count);
	else
		log::debug("%s: frame of %" PRIu64 " bytes skipped: %s", self.name_.c_str(), d->count,
			   sml_stream_drop_text(d->reason));
	return 0;
}

} // namespace zmqtt
