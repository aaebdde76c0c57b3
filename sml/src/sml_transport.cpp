// Transport framing:
//   1B 1B 1B 1B 01 01 01 01 | file | 00 x p | 1B 1B 1B 1B 1A p | crc hi crc lo
// The file's bytes are not escaped: any block that equals the escape sequence
// is taken for the start of the end block.
#include <sml/sml_transport.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>

#include <poll.h>
#include <sys/select.h>
#include <unistd.h>

#include <sml/sml_crc16.h>

#include "diagnostic.hpp"

namespace {

constexpr unsigned char esc_seq[] = {0x1b, 0x1b, 0x1b, 0x1b};
constexpr unsigned char start_seq[] = {0x1b, 0x1b, 0x1b, 0x1b, 0x01, 0x01, 0x01, 0x01};
constexpr unsigned char end_seq[] = {0x1b, 0x1b, 0x1b, 0x1b, 0x1a};

constexpr size_t listen_area_len = 8096;

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

enum class outcome { frame, rejected, ended };

struct read_result {
	outcome what;
	size_t len;
};

// The caller's buffer is the working area: nothing of the frame lives
// anywhere else, and a rejected frame leaves only scratch bytes there.
read_result read_frame(int fd, std::span<unsigned char> area) {
	unsigned char *buffer = area.data();
	size_t max_len = area.size();
	fd_set set;
	FD_ZERO(&set);
	if (fd >= 0 && fd < FD_SETSIZE)
		FD_SET(fd, &set);

	// Hunt a byte at a time. A byte that breaks the match is dropped, not
	// tried as the first byte of a new start sequence: five 1B before the
	// 01s miss the frame, as meters' own readers do.
	size_t m = 0;
	while (m < sizeof start_seq) {
		unsigned char byte;
		if (sml_read(fd, &set, &byte, 1) != 1)
			return {outcome::ended, 0};
		m = byte == start_seq[m] ? m + 1 : 0;
	}

	for (size_t q = sizeof start_seq;; q += 4) {
		// Room for this block and the one after an escape, below max_len.
		if (q + 8 >= max_len) {
			errno = EBADMSG;
			return {outcome::rejected, 0};
		}
		if (q == sizeof start_seq)
			std::memcpy(buffer, start_seq, sizeof start_seq);
		if (sml_read(fd, &set, buffer + q, 4) != 4)
			return {outcome::ended, 0};
		if (std::memcmp(buffer + q, esc_seq, sizeof esc_seq) != 0)
			continue;
		if (sml_read(fd, &set, buffer + q + 4, 4) != 4)
			return {outcome::ended, 0};
		if (buffer[q + 4] == end_seq[4])
			return {outcome::frame, q + 8};
		zelkor::diag("zelkor: error: unrecognized sequence");
		errno = EBADMSG;
		return {outcome::rejected, 0};
	}
}

// CRC-16/KERMIT: the FCS-16 polynomial with initial value 0 and no final
// complement, computed bitwise since only the frame check uses it.
u16 crc16_kermit(std::span<const unsigned char> bytes) {
	unsigned crc = 0;
	for (unsigned char byte : bytes) {
		crc ^= byte;
		for (int bit = 0; bit < 8; bit++)
			crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
	}
	return static_cast<u16>(crc);
}

u16 swapped(u16 v) { return static_cast<u16>((v << 8) | (v >> 8)); }

} // namespace

extern "C" {

size_t sml_read(int fd, fd_set *set, unsigned char *buffer, size_t len) {
	size_t count = 0;
	while (count < len) {
		if (!wait_for(fd, set, POLLIN))
			return count;
		ssize_t r = read(fd, buffer + count, len - count);
		if (r > 0) {
			count += static_cast<size_t>(r);
		} else if (r == 0) {
			errno = 0;
			return count;
		} else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
			return count;
		}
	}
	return count;
}

size_t sml_transport_read(int fd, unsigned char *buffer, size_t max_len) {
	return read_frame(fd, {buffer, max_len}).len;
}

void sml_transport_listen(int fd, void (*sml_transport_receiver)(unsigned char *buffer, size_t buffer_len)) {
	unsigned char area[listen_area_len];
	for (;;) {
		read_result r = read_frame(fd, area);
		if (r.what == outcome::ended)
			return;
		if (r.what == outcome::frame)
			sml_transport_receiver(area, r.len);
	}
}

int sml_transport_write(int fd, sml_file *file) {
	sml_buffer *buf = file->buf;
	buf->cursor = 0;
	sml_buf_reserve(buf, sizeof start_seq);
	std::memcpy(sml_buf_get_current_buf(buf), start_seq, sizeof start_seq);
	sml_buf_update_bytes_read(buf, sizeof start_seq);

	sml_file_write(file);

	// The buffer may hold an earlier frame, so padding is written, not assumed.
	size_t pad = buf->cursor % 4 ? 4 - buf->cursor % 4 : 0;
	sml_buf_reserve(buf, pad + sizeof end_seq + 3);
	unsigned char *out = sml_buf_get_current_buf(buf);
	std::memset(out, 0, pad);
	std::memcpy(out + pad, end_seq, sizeof end_seq);
	out[pad + sizeof end_seq] = static_cast<unsigned char>(pad);
	buf->cursor += pad + sizeof end_seq + 1;
	u16 crc = sml_crc16_calculate(buf->buffer, static_cast<int>(buf->cursor));
	buf->buffer[buf->cursor++] = static_cast<unsigned char>(crc >> 8);
	buf->buffer[buf->cursor++] = static_cast<unsigned char>(crc & 0xff);

	size_t len = buf->cursor;
	size_t done = 0;
	while (done < len) {
		ssize_t w = write(fd, buf->buffer + done, len - done);
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
	if (len < 2 || len - 2 > static_cast<size_t>(INT_MAX))
		return 0;
	size_t n = len - 2;
	auto received = static_cast<u16>((frame[n] << 8) | frame[n + 1]);
	// sml_crc16_calculate only reads its bytes.
	u16 x25 = sml_crc16_calculate(const_cast<unsigned char *>(frame), static_cast<int>(n));
	u16 kermit = crc16_kermit({frame, n});
	return received == x25 || received == swapped(x25) || received == kermit || received == swapped(kermit);
}

} // extern "C"
