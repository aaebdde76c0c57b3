// A capture read in one call: the stream decoder finds the good frames, and
// the readings walk runs over each one's file while the decoder holds it in
// the area, so nothing is copied and nothing allocated.
#include <sml/sml_capture.h>

#include <climits>

namespace zelkor::detail {
namespace {

struct capture {
	sml_capture_reading_fn on_reading;
	sml_stream_drop_fn on_drop;
	void *ctx;
	const sml_stream_frame *frame = nullptr;
	int calls = 0;
	bool framed = false;
	bool stopped = false;

	// True once the caller asked to stop, or the count can go no higher.
	bool deliver(const sml_reading &r) {
		calls++;
		stopped = on_reading(&r, frame, ctx) != 0 || calls == INT_MAX;
		return stopped;
	}
};

int frame_found(const sml_stream_frame *f, void *p) {
	auto &c = *static_cast<capture *>(p);
	c.framed = true;
	c.frame = f;
	int got = sml_readings(
		f->file, f->file_len,
		[](const sml_reading *r, void *q) { return static_cast<capture *>(q)->deliver(*r) ? 1 : 0; }, &c);
	if (got == SML_READINGS_NO_MESSAGE || got == SML_READINGS_TRANSPORT_FRAME) {
		// The frame is good, its file is not: said the way the walk says a
		// file breaks, so that a caller of readings alone still hears of it.
		sml_reading broken{};
		while (broken.offset < f->file_len && f->file[broken.offset] == 0)
			broken.offset++;
		broken.reason = SML_READING_BROKEN;
		c.deliver(broken);
	}
	return c.stopped ? 1 : 0;
}

int bytes_dropped(const sml_stream_drop *d, void *p) {
	auto &c = *static_cast<capture *>(p);
	if (c.on_drop && c.on_drop(d, c.ctx) != 0)
		c.stopped = true;
	return c.stopped ? 1 : 0;
}

} // namespace
} // namespace zelkor::detail

extern "C" int sml_capture_readings(const unsigned char *bytes, size_t len, unsigned char *area, size_t area_len,
				    sml_capture_reading_fn on_reading, sml_stream_drop_fn on_drop, void *ctx) {
	using namespace zelkor::detail;
	if (!on_reading || (!bytes && len) || (!area && area_len))
		return SML_CAPTURE_NO_INPUT;
	capture c{on_reading, on_drop, ctx};
	sml_stream s;
	sml_stream_init(&s, area, area_len, frame_found, bytes_dropped, &c);
	sml_stream_feed(&s, bytes, len);
	// A stop ends the call: what the decoder still holds is not reported.
	if (!c.stopped)
		sml_stream_finish(&s);
	return c.framed ? c.calls : SML_CAPTURE_NO_FRAME;
}
