// libFuzzer target for the stream decoder. Any bytes are a stream:
// - the events are the same whether it is fed whole, in random chunks or a
//   byte at a time, or stopped by every callback and fed on from there;
// - every frame fits the area, and every byte is in one frame or one drop;
// - a frame failed by its CRC, padding or an escape is dropped as soon as
//   its last byte is fed (a few bytes later when it ends in 1B, which may
//   begin the next start sequence), unless its bytes are fed again from
//   inside a failed frame;
// - an intact frame appended to the stream is always delivered, unless a
//   frame delivered before it legitimately took some of its bytes.
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_stream.h>
#include <sml/sml_transport.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct event {
	int kind; // 0 frame, else the drop reason
	uint64_t offset;
	uint64_t length;
	int crc;
	std::vector<unsigned char> file;
	bool operator==(const event &) const = default;
};

struct run {
	std::vector<event> events;
	// For each event, how many bytes had been fed when it came (the length
	// of the stream plus one when it came from sml_stream_finish).
	std::vector<size_t> fed;
	size_t area_len;
	uint64_t accounted = 0;
	size_t feeding = 0;
	bool stop = false; // every callback asks the decoder to stop
};

void check(bool ok) {
	if (!ok)
		std::abort();
}

int on_frame(const sml_stream_frame *f, void *ctx) {
	auto *r = static_cast<run *>(ctx);
	check(f->wire_len <= r->area_len && f->frame_len <= f->wire_len && f->file_len + 16 <= f->frame_len);
	check(f->offset == r->accounted);
	r->accounted += f->wire_len;
	r->events.push_back({0, f->offset, f->wire_len, f->crc, {f->file, f->file + f->file_len}});
	r->fed.push_back(r->feeding);
	return r->stop;
}

int on_drop(const sml_stream_drop *d, void *ctx) {
	auto *r = static_cast<run *>(ctx);
	check(d->offset == r->accounted && d->count > 0);
	r->accounted += d->count;
	r->events.push_back({d->reason, d->offset, d->count, 0, {}});
	r->fed.push_back(r->feeding);
	return r->stop;
}

constexpr uint32_t whole = 0, byte_at_a_time = 1;

// Feeds the stream whole, a byte at a time, or in chunks whose sizes come
// from a small generator seeded with chunking.
run decode(const std::vector<unsigned char> &in, size_t area_len, uint32_t chunking) {
	run r;
	r.area_len = area_len;
	std::vector<unsigned char> area(area_len);
	sml_stream s;
	sml_stream_init(&s, area.data(), area.size(), on_frame, on_drop, &r);
	for (size_t at = 0; at < in.size();) {
		size_t n = in.size() - at;
		if (chunking == byte_at_a_time) {
			n = 1;
		} else if (chunking != whole) {
			chunking ^= chunking << 13;
			chunking ^= chunking >> 17;
			chunking ^= chunking << 5;
			n = std::min<size_t>(n, chunking % 64 ? chunking % 64 : 1);
		}
		r.feeding = at + n;
		sml_stream_feed(&s, in.data() + at, n);
		at += n;
	}
	r.feeding = in.size() + 1;
	sml_stream_finish(&s);
	check(r.accounted == in.size());
	return r;
}

// Every callback stops the decoder; each feed goes on from the first byte
// the one before did not take.
run decode_stopping(const std::vector<unsigned char> &in, size_t area_len) {
	run r;
	r.area_len = area_len;
	r.stop = true;
	std::vector<unsigned char> area(area_len);
	sml_stream s;
	sml_stream_init(&s, area.data(), area.size(), on_frame, on_drop, &r);
	for (size_t at = 0, events = 0;;) {
		size_t k = sml_stream_feed(&s, in.data() + at, in.size() - at);
		check(k <= in.size() - at && r.events.size() <= events + 1);
		if (k == 0 && r.events.size() == events) {
			check(at == in.size());
			break;
		}
		// Short of the end only at an event.
		check(k == in.size() - at || r.events.size() == events + 1);
		at += k;
		events = r.events.size();
	}
	r.stop = false;
	check(sml_stream_finish(&s) == 0);
	check(r.accounted == in.size());
	return r;
}

// A small file written by the library, with runs that need escaping.
std::vector<unsigned char> intact_frame() {
	sml_file *file = sml_file_init();
	sml_message *msg = sml_message_init();
	unsigned char id[] = {0x1B, 0x1B, 0x1B, 0x1B, 0x01, 0x01, 0x01, 0x01, 0x1B};
	sml_octet_string_free(msg->transaction_id);
	msg->transaction_id = sml_octet_string_init(id, sizeof id);
	msg->message_body = sml_message_body_init(SML_BODY_CLOSE_RESPONSE, sml_close_response_init());
	sml_file_add_message(file, msg);
	size_t len = sml_transport_build(file);
	std::vector<unsigned char> frame(file->buf->buffer, file->buf->buffer + len);
	sml_file_free(file);
	return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	static const std::vector<unsigned char> tail = intact_frame();
	if (size < 2)
		return 0;
	// The first two bytes choose the area and the chunking.
	size_t area_len = 64 + data[0] * 4;
	uint32_t chunking = 0x9E3779B9u * (data[1] + 1u);
	std::vector<unsigned char> in(data + 2, data + size);

	run at_once = decode(in, area_len, whole);
	check(decode(in, area_len, chunking).events == at_once.events);
	check(decode_stopping(in, area_len).events == at_once.events);
	if (in.size() <= 512) {
		run bytewise = decode(in, area_len, byte_at_a_time);
		check(bytewise.events == at_once.events);
		const auto &ev = bytewise.events;
		for (size_t i = 0; i < ev.size(); i++) {
			int why = ev[i].kind;
			if (why != SML_STREAM_BAD_CRC && why != SML_STREAM_BAD_PADDING && why != SML_STREAM_BAD_ESCAPE)
				continue;
			// Frames found inside a failed one come with its drop, and the
			// failures among its bytes fed again come after it.
			const auto &fed = bytewise.fed;
			if ((i > 0 && fed[i - 1] == fed[i]) || (i + 1 < ev.size() && fed[i + 1] == fed[i]))
				continue;
			size_t end = ev[i].offset + ev[i].length, at = fed[i];
			bool escape_near = in[end - 1] == 0x1B || (end < in.size() && in[end] == 0x1B);
			check(at <= end + 1 || (escape_near && at <= end + 8));
		}
	}

	size_t start = in.size();
	in.insert(in.end(), tail.begin(), tail.end());
	run with_tail = decode(in, area_len, chunking);
	const event &last = with_tail.events.back();
	bool delivered = last.kind == 0 && last.offset == start && last.length == tail.size();
	bool taken = false;
	for (const event &e : with_tail.events)
		taken |= e.kind == 0 && e.offset < start && e.offset + e.length > start;
	check(delivered || taken);
	return 0;
}
