// Transport on file descriptors, over the stream decoder:
//   1B 1B 1B 1B 01 01 01 01 | escaped file | 00 x p | 1B 1B 1B 1B 1A p | crc hi crc lo
#include <sml/sml_transport.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <span>

#include <poll.h>
#include <sys/select.h>
#include <unistd.h>

#include <sml/sml_stream.h>

#include "crc.hpp"
#include "diagnostic.hpp"
#include "room.hpp"
#include "stream.hpp"

namespace {

constexpr unsigned char escape_byte = 0x1B;
constexpr unsigned char start_seq[] = {0x1b, 0x1b, 0x1b, 0x1b, 0x01, 0x01, 0x01, 0x01};
constexpr unsigned char end_seq[] = {0x1b, 0x1b, 0x1b, 0x1b, 0x1a};

constexpr size_t listen_area_len = 8096;
constexpr size_t listen_chunk_len = 4096;

// Waits until fd is readable (or writable). select cannot watch descriptors
// at or above FD_SETSIZE, so those are left to poll.
bool wait_for(int fd, fd_set *set, short events) {
	if (fd < 0) {
		errno = EBADF;
		return false;
	}
	for (;;) {
		int rc;
		if (set && fd < FD_SETSIZE) {
			// select leaves the set undefined after an interruption.
			FD_ZERO(set);
			FD_SET(fd, set);
			rc = select(fd + 1, set, nullptr, nullptr, nullptr);
		} else {
			pollfd p{fd, events, 0};
			rc = poll(&p, 1, -1);
		}
		if (rc > 0)
			return true;
		if (rc < 0 && errno != EINTR)
			return false;
	}
}

// One read of up to len bytes once fd is readable. 0 when the input ends
// (errno 0) or fails for good.
size_t read_some(int fd, fd_set *set, unsigned char *buffer, size_t len) {
	for (;;) {
		if (!wait_for(fd, set, POLLIN))
			return 0;
		ssize_t r = read(fd, buffer, len);
		if (r > 0)
			return static_cast<size_t>(r);
		if (r == 0) {
			errno = 0;
			return 0;
		}
		if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
			return 0;
	}
}

// The listening calls and the single-frame read take frames as the old
// block reader did: shorter than their area, a bad escape reported on
// stderr, and a frame whatever its CRC. The CRC still tells a frame that
// swallowed the next one (its own end block lost) from one merely damaged.
void init_legacy(sml_stream &s, std::span<unsigned char> area, sml_stream_frame_fn on_frame, sml_stream_drop_fn on_drop,
		 void *ctx) {
	sml_stream_init(&s, area.data(), area.empty() ? 0 : area.size() - 1, on_frame, on_drop, ctx);
	zelkor::detail::stream_check_crc_leniently(s);
}

void report_bad_escape(const sml_stream_drop *d) {
	if (d->reason == SML_STREAM_BAD_ESCAPE)
		zelkor::detail::diag("zelkor: error: unrecognized sequence");
}

struct single_read {
	size_t len = 0;
	bool rejected = false;
};

struct listener {
	sml_transport_receiver_fn receiver;
	void *ctx;
};

// Lengthens every run of w 1B in the file to w + 4 * (w / 4): after every
// fourth 1B of a run the sender inserts the escape sequence, which is 1B
// again. Works backwards in place, the buffer grown first; when it cannot
// grow, the file stays as it was and the error flag is set.
void escape_file(sml_buffer *buf, size_t from) {
	std::span<unsigned char> file{buf->buffer + from, buf->cursor - from};
	size_t extra = 0, run = 0;
	for (unsigned char c : file) {
		run = c == escape_byte ? run + 1 : 0;
		if (run && run % 4 == 0)
			extra += 4;
	}
	if (!extra || !zelkor::detail::room(buf, extra))
		return;
	unsigned char *p = buf->buffer + from;
	size_t in = buf->cursor - from, out = in + extra;
	while (in > 0) {
		unsigned char c = p[--in];
		if (c != escape_byte) {
			p[--out] = c;
			continue;
		}
		size_t run = 1;
		while (in > 0 && p[in - 1] == escape_byte)
			in--, run++;
		size_t wire = run + run / 4 * 4;
		out -= wire;
		std::memset(p + out, escape_byte, wire);
	}
	buf->cursor += extra;
}

} // namespace

extern "C" {

size_t sml_read(int fd, fd_set *set, unsigned char *buffer, size_t len) {
	size_t count = 0;
	while (count < len) {
		size_t r = read_some(fd, set, buffer + count, len - count);
		if (!r)
			return count;
		count += r;
	}
	return count;
}

size_t sml_transport_read(int fd, unsigned char *buffer, size_t max_len) {
	single_read got;
	sml_stream s;
	init_legacy(
		s, {buffer, max_len},
		[](const sml_stream_frame *f, void *ctx) {
			auto *got = static_cast<single_read *>(ctx);
			got->len = f->frame_len;
			got->rejected = false;
			return 0;
		},
		[](const sml_stream_drop *d, void *ctx) {
			report_bad_escape(d);
			if (d->reason == SML_STREAM_NOISE)
				return 0;
			// A frame dropped after a delivered one was stored over it.
			auto *got = static_cast<single_read *>(ctx);
			got->len = 0;
			got->rejected = true;
			return 0;
		},
		&got);
	fd_set set;
	FD_ZERO(&set);
	unsigned char chunk[16];
	for (;;) {
		// Never more than the frame could still need: nothing past the
		// frame is taken from the descriptor.
		size_t want = std::min(zelkor::detail::stream_need(s), sizeof chunk);
		size_t n = read_some(fd, &set, chunk, want);
		if (!n) {
			int cause = errno;
			sml_stream_finish(&s);
			errno = cause;
			return got.len;
		}
		sml_stream_feed(&s, chunk, n);
		// A frame is whole in buffer unless another one has begun over it.
		if (got.len && zelkor::detail::stream_hunting(s))
			return got.len;
		got.len = 0;
		// A frame too long for the area is rejected before its drop, which
		// waits for the next start sequence.
		if ((got.rejected || zelkor::detail::stream_dropping(s)) && zelkor::detail::stream_idle(s)) {
			errno = EBADMSG;
			return 0;
		}
	}
}

void sml_transport_listen_ctx(int fd, sml_transport_receiver_fn receiver, void *ctx) {
	unsigned char area[listen_area_len];
	unsigned char chunk[listen_chunk_len];
	listener l{receiver, ctx};
	sml_stream s;
	init_legacy(
		s, area,
		[](const sml_stream_frame *f, void *ctx) {
			auto *l = static_cast<listener *>(ctx);
			// The frame lies in the listener's own area.
			l->receiver(const_cast<unsigned char *>(f->frame), f->frame_len, l->ctx);
			return 0;
		},
		[](const sml_stream_drop *d, void *) {
			report_bad_escape(d);
			return 0;
		},
		&l);
	fd_set set;
	FD_ZERO(&set);
	for (;;) {
		size_t n = read_some(fd, &set, chunk, sizeof chunk);
		if (!n) {
			int cause = errno;
			sml_stream_finish(&s);
			errno = cause;
			return;
		}
		sml_stream_feed(&s, chunk, n);
	}
}

void sml_transport_listen(int fd, void (*sml_transport_receiver)(unsigned char *buffer, size_t buffer_len)) {
	struct plain {
		void (*fn)(unsigned char *, size_t);
	} p{sml_transport_receiver};
	sml_transport_listen_ctx(
		fd, [](unsigned char *frame, size_t len, void *ctx) { static_cast<plain *>(ctx)->fn(frame, len); }, &p);
}

size_t sml_transport_build(sml_file *file) {
	sml_buffer *buf = file->buf;
	buf->cursor = 0;
	// The flag may be set from the parse the file came from; while the frame
	// is built it tells only whether the buffer could grow. It is sticky, so
	// it is set again afterwards.
	int had_error = buf->error;
	buf->error = 0;
	unsigned char *out = zelkor::detail::room(buf, sizeof start_seq);
	if (out) {
		std::memcpy(out, start_seq, sizeof start_seq);
		sml_buf_update_bytes_read(buf, sizeof start_seq);
		sml_file_write(file);
		escape_file(buf, sizeof start_seq);
	}
	// The buffer may hold an earlier frame, so padding is written, not assumed.
	size_t pad = buf->cursor % 4 ? 4 - buf->cursor % 4 : 0;
	out = buf->error ? nullptr : zelkor::detail::room(buf, pad + sizeof end_seq + 3);
	buf->error |= had_error;
	if (!out)
		return 0;
	std::memset(out, 0, pad);
	std::memcpy(out + pad, end_seq, sizeof end_seq);
	out[pad + sizeof end_seq] = static_cast<unsigned char>(pad);
	buf->cursor += pad + sizeof end_seq + 1;
	u16 crc = zelkor::detail::byte_swapped(zelkor::detail::crc_x25({buf->buffer, buf->cursor}));
	buf->buffer[buf->cursor++] = static_cast<unsigned char>(crc >> 8);
	buf->buffer[buf->cursor++] = static_cast<unsigned char>(crc & 0xff);
	return buf->cursor;
}

int sml_transport_write(int fd, sml_file *file) {
	size_t len = sml_transport_build(file);
	if (!len) {
		errno = ENOMEM;
		return 0;
	}
	if (len > static_cast<size_t>(INT_MAX)) {
		errno = EMSGSIZE;
		return 0;
	}
	const unsigned char *frame = file->buf->buffer;
	size_t done = 0;
	while (done < len) {
		ssize_t w = write(fd, frame + done, len - done);
		if (w > 0) {
			done += static_cast<size_t>(w);
		} else if (w < 0 && errno == EINTR) {
			continue;
		} else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			if (!wait_for(fd, nullptr, POLLOUT))
				return 0;
		} else {
			return 0;
		}
	}
	return static_cast<int>(len);
}

int sml_transport_frame_crc_ok(const unsigned char *frame, size_t len) {
	if (len < 2)
		return 0;
	std::span<const unsigned char> covered{frame, len - 2};
	auto received = static_cast<uint16_t>((frame[len - 2] << 8) | frame[len - 1]);
	uint16_t x25 = zelkor::detail::byte_swapped(zelkor::detail::crc_x25(covered));
	uint16_t kermit = zelkor::detail::crc_kermit(covered);
	return received == x25 || received == zelkor::detail::byte_swapped(x25) || received == kermit ||
	       received == zelkor::detail::byte_swapped(kermit);
}

} // extern "C"
