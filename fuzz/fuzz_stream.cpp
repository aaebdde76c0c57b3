// libFuzzer target for the stream decoder. Any bytes are a stream:
// - the events are the same whether it is fed whole, in random chunks or a
//   byte at a time;
// - every frame fits the area, and every byte is in one frame or one drop;
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
	size_t area_len;
	uint64_t accounted = 0;
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
	return 0;
}

int on_drop(const sml_stream_drop *d, void *ctx) {
	auto *r = static_cast<run *>(ctx);
	check(d->offset == r->accounted && d->count > 0);
	r->accounted += d->count;
	r->events.push_back({d->reason, d->offset, d->count, 0, {}});
	return 0;
}

// Feeds the stream in chunks whose sizes come from a small generator.
run decode(const std::vector<unsigned char> &in, size_t area_len, uint32_t chunking) {
	run r;
	r.area_len = area_len;
	std::vector<unsigned char> area(area_len);
	sml_stream s;
	sml_stream_init(&s, area.data(), area.size(), on_frame, on_drop, &r);
	for (size_t at = 0; at < in.size();) {
		size_t n = in.size() - at;
		if (chunking) {
			chunking ^= chunking << 13;
			chunking ^= chunking >> 17;
			chunking ^= chunking << 5;
			n = std::min<size_t>(n, chunking % 64 ? chunking % 64 : 1);
		}
		sml_stream_feed(&s, in.data() + at, n);
		at += n;
	}
	sml_stream_finish(&s);
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

	run whole = decode(in, area_len, 0);
	check(decode(in, area_len, chunking).events == whole.events);
	if (in.size() <= 512)
		check(decode(in, area_len, 1).events == whole.events);

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
