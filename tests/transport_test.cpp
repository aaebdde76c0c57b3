// Transport framing: bytes into a descriptor, frames out; files written as
// frames, compared whole.
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_response.h>
#include <sml/sml_transport.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "frame.hpp"
#include "sml_test.hpp"

namespace {

using test::bytes;
using test::framed;
using test::joined;

// A pipe whose write end a thread fills with the given bytes and then closes.
class feed {
public:
	explicit feed(std::vector<unsigned char> data, std::chrono::microseconds pause = {})
		: data_(std::move(data)) {
		int fds[2];
		if (pipe(fds) != 0)
			throw std::runtime_error("pipe");
		fd = fds[0];
		writer_ = std::thread([this, w = fds[1], pause] {
			// Byte by byte when paced, so reads come back short.
			size_t step = pause.count() ? 1 : data_.size();
			for (size_t at = 0; at < data_.size(); at += step) {
				if (::write(w, data_.data() + at, std::min(step, data_.size() - at)) < 0)
					break;
				std::this_thread::sleep_for(pause);
			}
			::close(w);
		});
	}
	feed(const feed &) = delete;
	feed &operator=(const feed &) = delete;
	~feed() {
		::close(fd);
		writer_.join();
	}
	int fd;

private:
	std::vector<unsigned char> data_;
	std::thread writer_;
};

struct stream {
	std::vector<std::string> frames;
	int rejected = 0;
	int end_errno = -1;
	std::string err;
};

// Reads frames until the input ends.
stream read_stream(const std::vector<unsigned char> &input, size_t max_len = 8096) {
	feed in(input);
	stream s;
	std::vector<unsigned char> area(max_len);
	testing::internal::CaptureStderr();
	for (int guard = 0; guard < 1000; guard++) {
		size_t n = sml_transport_read(in.fd, area.data(), max_len);
		if (n) {
			s.frames.push_back(test::hex(area.data(), n));
		} else if (errno == EBADMSG) {
			s.rejected++;
		} else {
			s.end_errno = errno;
			break;
		}
	}
	s.err = testing::internal::GetCapturedStderr();
	return s;
}

std::string hex(const std::vector<unsigned char> &b) { return test::hex(b.data(), b.size()); }

const auto frame24 = bytes("1B1B1B1B 01010101 760501020304 0000 1B1B1B1B 1A02 5AA5");

// A frame cut after its end escape (1A, padding count and CRC lost), then an
// intact one: the run of eight 1B reads as escaped data, and the second
// frame's end block as the end of both.
const auto lost_end_block = bytes("1B1B1B1B 01010101 7605010203046200620072630201710163000000 1B1B1B1B");
const auto intact = bytes("1B1B1B1B 01010101 7605050607086200620072630201710163000000 1B1B1B1B 1A00 C686");

// Interrupts the constructing thread, most likely blocked in a call by then,
// with a signal whose handler does not restart calls, and then lets the call
// finish with finish(). Whenever the signal comes, the call must end as it
// would without it.
class interrupted {
public:
	explicit interrupted(std::function<void()> finish) {
		struct sigaction quiet {};
		quiet.sa_handler = [](int) {};
		sigemptyset(&quiet.sa_mask);
		sigaction(SIGUSR1, &quiet, &old_);
		thread_ = std::thread([waiting = pthread_self(), finish = std::move(finish)] {
			std::this_thread::sleep_for(std::chrono::milliseconds(100));
			pthread_kill(waiting, SIGUSR1);
			std::this_thread::sleep_for(std::chrono::milliseconds(50));
			finish();
		});
	}
	void join() {
		thread_.join();
		sigaction(SIGUSR1, &old_, nullptr);
	}

private:
	struct sigaction old_ {};
	std::thread thread_;
};

struct read_case {
	const char *name;
	std::vector<unsigned char> input;
	size_t max_len;
	std::vector<std::string> frames;
	int rejected;
	const char *err;
};

TEST(TransportRead, FindsFramesInTheStream) {
	const std::string f24 = hex(frame24);
	const auto frame8092 = framed(std::vector<unsigned char>(8076, 0x00));
	const auto frame8096 = framed(std::vector<unsigned char>(8080, 0x00));
	const auto empty_file = framed({});
	ASSERT_EQ(frame8092.size(), 8092u);
	ASSERT_EQ(frame8096.size(), 8096u);
	ASSERT_EQ(empty_file.size(), 16u);

	const read_case cases[] = {
		{"24-byte frame whole, CRC unread", frame24, 8096, {f24}, 0, ""},
		{"noise before the start", joined({bytes("00 FF 1B 1B 01 02"), frame24}), 8096, {f24}, 0, ""},
		{"a fifth 1B before the start", joined({bytes("1B"), frame24}), 8096, {f24}, 0, ""},
		{"three 1B then 01s", joined({bytes("1B1B1B 01010101"), frame24}), 8096, {f24}, 0, ""},
		{"cut-short frame, next start on a block boundary",
		 joined({bytes("1B1B1B1B 01010101 76050102"), frame24}), 8096, {f24}, 0, ""},
		{"cut-short frame, next start off the block grid",
		 joined({bytes("1B1B1B1B 01010101 760501"), frame24}), 8096, {f24}, 0, ""},
		{"a frame that lost the end of its end block costs only itself", joined({lost_end_block, intact}), 8096,
		 {hex(intact)}, 0, ""},
		{"escape on the grid followed by neither 1A nor a start",
		 joined({bytes("1B1B1B1B 01010101 1B1B1B1B 02000000"), frame24}), 8096, {f24}, 1,
		 "zelkor: error: unrecognized sequence\n"},
		{"escaped frame: file 1B1B1B1B 1B, escapes taken out",
		 bytes("1B1B1B1B 01010101 1B1B1B1B 1B1B1B1B 1B000000 1B1B1B1B 1A03 AABB"), 8096,
		 {test::canon("1B1B1B1B 01010101 1B1B1B1B 1B000000 1B1B1B1B 1A03 AABB")}, 0, ""},
		{"escape at a block boundary, then 1A, ends the frame",
		 bytes("1B1B1B1B 01010101 1B1B1B1B 1A000000 76050102 1B1B1B1B 1A00AABB"), 8096,
		 {test::canon("1B1B1B1B 01010101 1B1B1B1B 1A000000")}, 0, ""},
		{"escape off the block boundary is data",
		 bytes("1B1B1B1B 01010101 001B1B1B 1B000000 1B1B1B1B 1A03AABB"), 8096,
		 {test::canon("1B1B1B1B 01010101 001B1B1B 1B000000 1B1B1B1B 1A03AABB")}, 0, ""},
		{"8092 bytes fit max_len 8096, 8096 do not", joined({frame8092, frame8096, frame24}), 8096,
		 {hex(frame8092), f24}, 1, ""},
		{"max_len 16 takes no frame", joined({empty_file, frame24}), 16, {}, 2, ""},
		{"frame cut short by the end of input", bytes("1B1B1B1B 01010101 76050102 1B1B1B1B"), 8096, {}, 0, ""},
		{"nothing at all", {}, 8096, {}, 0, ""},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		stream s = read_stream(c.input, c.max_len);
		EXPECT_EQ(s.frames, c.frames);
		EXPECT_EQ(s.rejected, c.rejected);
		EXPECT_EQ(s.err, c.err);
		EXPECT_EQ(s.end_errno, 0);
	}
}

TEST(TransportRead, WaitsForBytesThatArriveOneByOne) {
	feed in(joined({bytes("00 00"), frame24}), std::chrono::microseconds(200));
	unsigned char area[64];
	EXPECT_EQ(sml_transport_read(in.fd, area, sizeof area), frame24.size());
	EXPECT_EQ(test::hex(area, frame24.size()), hex(frame24));
	EXPECT_EQ(sml_transport_read(in.fd, area, sizeof area), 0u);
	EXPECT_EQ(errno, 0);
}

TEST(TransportRead, ReadExactlyStopsShortOnlyAtTheEnd) {
	feed in(bytes("01 02 03 04 05"), std::chrono::microseconds(100));
	fd_set set;
	FD_ZERO(&set);
	unsigned char got[8] = {};
	EXPECT_EQ(sml_read(in.fd, &set, got, 4), 4u);
	EXPECT_EQ(test::hex(got, 4), "01 02 03 04");
	EXPECT_EQ(sml_read(in.fd, &set, got, 4), 1u);
	EXPECT_EQ(errno, 0);
}

TEST(TransportRead, ReturnsOnADescriptorThatFails) {
	unsigned char area[64];
	int dir = open("/", O_RDONLY | O_DIRECTORY);
	ASSERT_GE(dir, 0);
	EXPECT_EQ(sml_transport_read(dir, area, sizeof area), 0u);
	EXPECT_EQ(errno, EISDIR);
	close(dir);
	EXPECT_EQ(sml_transport_read(-1, area, sizeof area), 0u);
	EXPECT_EQ(errno, EBADF);
	// A descriptor closed since it was opened: waiting for it fails.
	int ends[2];
	ASSERT_EQ(pipe(ends), 0);
	close(ends[0]);
	close(ends[1]);
	EXPECT_EQ(sml_transport_read(ends[0], area, sizeof area), 0u);
	EXPECT_EQ(errno, EBADF);
}

TEST(TransportRead, ASignalWhileWaitingEndsNothing) {
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	interrupted waiting([&] {
		EXPECT_EQ(write(fds[1], frame24.data(), frame24.size()), static_cast<ssize_t>(frame24.size()));
		close(fds[1]);
	});
	unsigned char area[64];
	size_t n = sml_transport_read(fds[0], area, sizeof area);
	waiting.join();
	close(fds[0]);
	EXPECT_EQ(test::hex(area, n), hex(frame24));
}

TEST(TransportRead, TakesNothingPastTheFrame) {
	// An escaped frame, then bytes that are some other reader's business.
	const auto escaped = framed(bytes("1B1B1B1B 1B 01 1B1B1B"));
	const auto after = bytes("1B1B1B1B 01010101 0000 AA");
	feed in(joined({bytes("00 1B 1B"), escaped, after}), std::chrono::microseconds(50));
	unsigned char area[64];
	size_t n = sml_transport_read(in.fd, area, sizeof area);
	EXPECT_EQ(test::hex(area, n), test::canon("1B1B1B1B 01010101 1B1B1B1B 1B 01 1B1B1B 000000 1B1B1B1B 1A03") + " " +
					      test::hex(escaped.data() + escaped.size() - 2, 2));
	unsigned char rest[16];
	EXPECT_EQ(sml_read(in.fd, nullptr, rest, after.size()), after.size());
	EXPECT_EQ(test::hex(rest, after.size()), hex(after));
}

std::vector<std::string> received;

TEST(TransportListen, HandsEveryFrameOverAndReturnsAtTheEnd) {
	received.clear();
	const auto empty_file = framed({});
	feed in(joined({frame24, bytes("1B1B 00"), empty_file, bytes("1B1B1B1B 01010101 7605")}));
	errno = EINTR;
	sml_transport_listen(in.fd, [](unsigned char *frame, size_t len) { received.push_back(test::hex(frame, len)); });
	EXPECT_EQ(errno, 0);
	EXPECT_EQ(received, (std::vector<std::string>{hex(frame24), hex(empty_file)}));
}

TEST(TransportListen, ContextReachesTheReceiver) {
	const auto escaped = framed(bytes("AA 1B1B1B1B"));
	feed in(joined({frame24, escaped, frame24}));
	std::vector<std::string> got;
	sml_transport_listen_ctx(
		in.fd,
		[](unsigned char *frame, size_t len, void *ctx) {
			static_cast<std::vector<std::string> *>(ctx)->push_back(test::hex(frame, len));
		},
		&got);
	EXPECT_EQ(errno, 0);
	// The escaped frame comes without its escape: three bytes of padding now.
	EXPECT_EQ(got, (std::vector<std::string>{hex(frame24),
						  test::canon("1B1B1B1B 01010101 AA1B1B1B 1B000000 1B1B1B1B 1A03") + " " +
							  test::hex(escaped.data() + escaped.size() - 2, 2),
						  hex(frame24)}));
}

// The frame that lost the end of its end block is told from the one it
// swallowed by their CRCs; frame24, whose CRC matches nothing, is handed
// over all the same.
TEST(TransportListen, AFrameThatLostTheEndOfItsEndBlockCostsOnlyItself) {
	const auto input = joined({lost_end_block, intact, frame24});
	const std::vector<std::string> expected = {hex(intact), hex(frame24)};
	received.clear();
	{
		feed in(input);
		sml_transport_listen(in.fd, [](unsigned char *frame, size_t len) { received.push_back(test::hex(frame, len)); });
	}
	EXPECT_EQ(received, expected);
	std::vector<std::string> got;
	feed in(input);
	sml_transport_listen_ctx(
		in.fd,
		[](unsigned char *frame, size_t len, void *ctx) {
			static_cast<std::vector<std::string> *>(ctx)->push_back(test::hex(frame, len));
		},
		&got);
	EXPECT_EQ(got, expected);
}

TEST(TransportListen, ReturnsWithTheErrorOfAFailingDescriptor) {
	int dir = open("/", O_RDONLY | O_DIRECTORY);
	ASSERT_GE(dir, 0);
	sml_transport_listen(dir, [](unsigned char *, size_t) { ADD_FAILURE() << "no frame expected"; });
	EXPECT_EQ(errno, EISDIR);
	close(dir);
}

struct file_deleter {
	void operator()(sml_file *f) const { sml_file_free(f); }
};
using file_ptr = std::unique_ptr<sml_file, file_deleter>;

sml_message *message(u32 tag, void *body) {
	sml_message *msg = sml_message_init();
	msg->message_body = sml_message_body_init(tag, body);
	return msg;
}

// Open response, GetList response with one reading, close response.
file_ptr meter_file() {
	file_ptr file{sml_file_init()};
	auto *open = sml_open_response_init();
	open->server_id = sml_octet_string_init_from_hex(const_cast<char *>("0A015A4C4B0000BC614E"));
	sml_file_add_message(file.get(), message(SML_BODY_OPEN_RESPONSE, open));
	auto *list = sml_get_list_response_init();
	list->val_list = sml_list_init();
	list->val_list->obj_name = sml_octet_string_init_from_hex(const_cast<char *>("0100010800FF"));
	list->val_list->value = sml_value_init();
	list->val_list->value->type = SML_TL_UNSIGNED | 4;
	list->val_list->value->data.uint32 = static_cast<u32 *>(sml_number_init(987, SML_TL_UNSIGNED, 4));
	sml_file_add_message(file.get(), message(SML_BODY_GET_LIST_RESPONSE, list));
	sml_file_add_message(file.get(), message(SML_BODY_CLOSE_RESPONSE, sml_close_response_init()));
	return file;
}

// Everything that arrives on the read end of a pipe until it closes.
std::vector<unsigned char> drain(int fd) {
	std::vector<unsigned char> all;
	unsigned char chunk[512];
	ssize_t n;
	while ((n = read(fd, chunk, sizeof chunk)) > 0)
		all.insert(all.end(), chunk, chunk + n);
	return all;
}

TEST(TransportWrite, FileWithoutMessages) {
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	file_ptr file{sml_file_init()};
	EXPECT_EQ(sml_transport_write(fds[1], file.get()), 16);
	close(fds[1]);
	EXPECT_EQ(hex(drain(fds[0])), test::canon("1B1B1B1B 01010101 1B1B1B1B 1A00 C6E5"));
	close(fds[0]);
}

TEST(TransportWrite, FrameReadsBackWhole) {
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	file_ptr file = meter_file();
	// A reused buffer: padding must be written, not left from before.
	std::memset(file->buf->buffer, 0xEE, file->buf->buffer_len);
	int len = sml_transport_write(fds[1], file.get());
	close(fds[1]);
	ASSERT_GT(len, 16);
	EXPECT_EQ(len % 4, 0);
	std::string written = test::hex(file->buf->buffer, file->buf->cursor);
	EXPECT_EQ(static_cast<size_t>(len), file->buf->cursor);

	unsigned char area[8096];
	size_t n = sml_transport_read(fds[0], area, sizeof area);
	close(fds[0]);
	ASSERT_EQ(n, static_cast<size_t>(len));
	EXPECT_EQ(test::hex(area, n), written);
	EXPECT_EQ(sml_transport_frame_crc_ok(area, n), 1);
	// End block: the padding count says how many zeros precede it.
	unsigned pad = area[n - 3];
	EXPECT_LT(pad, 4u);
	EXPECT_EQ(test::hex(area + n - 8, 5), "1B 1B 1B 1B 1A");
	for (unsigned i = 1; i <= pad; i++)
		EXPECT_EQ(area[n - 8 - i], 0x00);

	file_ptr back{sml_file_parse(area + 8, n - 16)};
	ASSERT_EQ(back->messages_len, 3);
	EXPECT_EQ(*back->messages[1]->message_body->tag, SML_BODY_GET_LIST_RESPONSE);
	auto *list = static_cast<sml_get_list_response *>(back->messages[1]->message_body->data);
	EXPECT_EQ(*list->val_list->value->data.uint32, 987u);
}

TEST(TransportWrite, WholeFrameThroughASmallNonBlockingPipe) {
	int fds[2];
	ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
	ASSERT_GT(fcntl(fds[1], F_SETPIPE_SZ, 4096), 0);
	fcntl(fds[0], F_SETFL, 0);

	file_ptr file{sml_file_init()};
	auto *open = sml_open_response_init();
	std::vector<unsigned char> id(20000, 0x55);
	open->req_file_id = sml_octet_string_init(id.data(), static_cast<int>(id.size()));
	sml_file_add_message(file.get(), message(SML_BODY_OPEN_RESPONSE, open));

	std::vector<unsigned char> got;
	std::thread reader([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		got = drain(fds[0]);
	});
	int len = sml_transport_write(fds[1], file.get());
	close(fds[1]);
	reader.join();
	close(fds[0]);
	EXPECT_GT(len, 20000);
	EXPECT_EQ(static_cast<size_t>(len), file->buf->cursor);
	EXPECT_EQ(test::hex(got.data(), got.size()), test::hex(file->buf->buffer, file->buf->cursor));
}

TEST(TransportWrite, ASignalWhileBlockedEndsNothing) {
	int fds[2];
	ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
	// The pipe is full before the frame comes, so writing it blocks.
	std::vector<unsigned char> filler(4096, 0xAA);
	size_t filled = 0;
	for (ssize_t w; (w = write(fds[1], filler.data(), filler.size())) > 0;)
		filled += static_cast<size_t>(w);
	fcntl(fds[0], F_SETFL, 0);
	fcntl(fds[1], F_SETFL, 0);
	file_ptr file = meter_file();
	std::vector<unsigned char> got;
	interrupted blocked([&] { got = drain(fds[0]); });
	int len = sml_transport_write(fds[1], file.get());
	close(fds[1]);
	blocked.join();
	close(fds[0]);
	EXPECT_EQ(static_cast<size_t>(len), file->buf->cursor);
	ASSERT_EQ(got.size(), filled + file->buf->cursor);
	EXPECT_EQ(test::hex(got.data() + filled, file->buf->cursor), test::hex(file->buf->buffer, file->buf->cursor));
}

TEST(TransportWrite, ZeroOnADescriptorThatRefusesBytes) {
	std::signal(SIGPIPE, SIG_IGN);
	file_ptr file{sml_file_init()};
	int ro = open("/dev/null", O_RDONLY);
	EXPECT_EQ(sml_transport_write(ro, file.get()), 0);
	close(ro);
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	close(fds[0]);
	EXPECT_EQ(sml_transport_write(fds[1], file.get()), 0);
	EXPECT_EQ(errno, EPIPE);
	close(fds[1]);
}

TEST(TransportFrameCrc, AcceptsBothCrcsInBothByteOrders) {
	// Check values over 123456789: X-25 (as sml_crc16_calculate gives it)
	// 0x6E90, KERMIT 0x2189.
	const struct {
		const char *frame;
		int ok;
	} cases[] = {
		{"1B1B1B1B 01010101 1B1B1B1B 1A00 C6E5", 1},
		{"1B1B1B1B 01010101 1B1B1B1B 1A00 E5C6", 1},
		{"1B1B1B1B 01010101 1B1B1B1B 1A00 C6E4", 0},
		{"313233343536373839 6E90", 1},
		{"313233343536373839 906E", 1},
		{"313233343536373839 2189", 1},
		{"313233343536373839 8921", 1},
		{"313233343536373839 2198", 0},
		{"323233343536373839 6E90", 0},
		{"00", 0},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.frame);
		auto f = bytes(c.frame);
		EXPECT_EQ(sml_transport_frame_crc_ok(f.data(), f.size()), c.ok);
	}
}

} // namespace
