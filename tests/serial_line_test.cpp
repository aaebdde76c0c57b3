// obisdump on a real terminal line: a pseudo-terminal plays the meter's
// serial port, frames go in on the master side, readings come out.
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_response.h>
#include <sml/sml_transport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "process.hpp"
#include "sml_test.hpp"

namespace {

struct file_deleter {
	void operator()(sml_file *f) const { sml_file_free(f); }
};

// What a meter sends: open response, GetList response with one energy
// register (0.1 Wh steps), close response.
std::unique_ptr<sml_file, file_deleter> meter_file(u64 energy) {
	std::unique_ptr<sml_file, file_deleter> file{sml_file_init()};
	auto add = [&](u32 tag, void *body) {
		sml_message *msg = sml_message_init();
		msg->message_body = sml_message_body_init(tag, body);
		sml_file_add_message(file.get(), msg);
	};
	add(SML_BODY_OPEN_RESPONSE, sml_open_response_init());
	auto *list = sml_get_list_response_init();
	sml_list *e = list->val_list = sml_list_init();
	e->obj_name = sml_octet_string_init_from_hex(const_cast<char *>("0100010800FF"));
	e->unit = static_cast<u8 *>(sml_number_init(30, SML_TL_UNSIGNED, 1));
	e->scaler = static_cast<i8 *>(sml_number_init(static_cast<u64>(-1), SML_TL_INTEGER, 1));
	e->value = sml_value_init();
	e->value->type = SML_TL_UNSIGNED | 8;
	e->value->data.uint64 = static_cast<u64 *>(sml_number_init(energy, SML_TL_UNSIGNED, 8));
	add(SML_BODY_GET_LIST_RESPONSE, list);
	add(SML_BODY_CLOSE_RESPONSE, sml_close_response_init());
	return file;
}

// A pseudo-terminal: the test writes the meter's bytes on its master side,
// obisdump opens its slave side by path.
struct pty {
	int master = -1;
	std::string slave_path;

	pty() {
		master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
		if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
			throw std::runtime_error("posix_openpt");
		slave_path = ptsname(master);
	}
	pty(const pty &) = delete;
	pty &operator=(const pty &) = delete;
	~pty() { hang_up(); }

	void hang_up() {
		if (master >= 0)
			close(master);
		master = -1;
	}

	// The line's settings, through a descriptor of our own that is closed
	// again at once.
	termios settings() const {
		termios t{};
		int slave = open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
		if (slave < 0 || tcgetattr(slave, &t) != 0)
			ADD_FAILURE() << "tcgetattr(" << slave_path << ")";
		if (slave >= 0)
			close(slave);
		return t;
	}

	// Waits until obisdump has made the line raw: bytes written before would
	// be cooked.
	termios raw_settings() const {
		termios t = settings();
		auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		while ((t.c_lflag & ICANON) && std::chrono::steady_clock::now() < deadline) {
			std::this_thread::sleep_for(std::chrono::milliseconds(5));
			t = settings();
		}
		EXPECT_EQ(t.c_lflag & ICANON, 0u) << "obisdump never set the line up";
		return t;
	}

	// Writes everything within the deadline, while the reader takes it.
	bool send(const std::vector<unsigned char> &bytes, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
		auto deadline = std::chrono::steady_clock::now() + limit;
		for (size_t sent = 0; sent < bytes.size();) {
			if (std::chrono::steady_clock::now() > deadline)
				return false;
			pollfd p{master, POLLOUT, 0};
			if (poll(&p, 1, 100) <= 0)
				continue;
			ssize_t w = write(master, bytes.data() + sent, std::min<size_t>(bytes.size() - sent, 4096));
			if (w > 0)
				sent += static_cast<size_t>(w);
			else if (w < 0 && errno != EAGAIN && errno != EINTR)
				return false;
		}
		return true;
	}
};

// A meter's frame on the wire, as sml_transport_write sends it.
std::vector<unsigned char> meter_frame(u64 energy) {
	auto file = meter_file(energy);
	size_t len = sml_transport_build(file.get());
	return {file->buf->buffer, file->buf->buffer + len};
}

TEST(SerialLine, ConfiguresTheLineReadsFramesAndExits4WhenItCloses) {
	int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
	ASSERT_GE(master, 0);
	ASSERT_EQ(grantpt(master), 0);
	ASSERT_EQ(unlockpt(master), 0);
	const std::string slave_path = ptsname(master);

	// Our own view of the line's settings; closed before the line goes down.
	int slave = open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
	ASSERT_GE(slave, 0);
	termios before{};
	ASSERT_EQ(tcgetattr(slave, &before), 0);
	ASSERT_TRUE(before.c_lflag & ICANON) << "a new terminal starts in canonical mode";

	test::process reader({test::program("obisdump"), slave_path});

	// Frames written before obisdump made the line raw would be cooked.
	termios now{};
	auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	do {
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
		ASSERT_EQ(tcgetattr(slave, &now), 0);
	} while ((now.c_lflag & ICANON) && std::chrono::steady_clock::now() < deadline);

	EXPECT_EQ(cfgetispeed(&now), static_cast<speed_t>(B9600));
	EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B9600));
	EXPECT_EQ(now.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
	EXPECT_EQ(now.c_cflag & (PARENB | PARODD | CSTOPB), 0u);
	EXPECT_EQ(now.c_cflag & CREAD, before.c_cflag & CREAD);
	EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
	EXPECT_EQ(now.c_oflag & OPOST, 0u);
	EXPECT_EQ(now.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON), 0u);
	close(slave);

	// The readings of both frames arrive while the line is up.
	auto first = meter_file(12345000);
	auto second = meter_file(12345007);
	ASSERT_GT(sml_transport_write(master, first.get()), 0);
	ASSERT_GT(sml_transport_write(master, second.get()), 0);
	EXPECT_TRUE(reader.wait_for_output("1-0:1.8.0*255#1234500.7#Wh\n")) << reader.out();

	close(master);
	auto r = reader.finish();
	EXPECT_EQ(r.status, 4);
	const std::string frame = "SML message  101\nSML message  701\nSML message  201\nOBIS data\n";
	const std::string size = std::to_string(first->buf->cursor - 16);
	EXPECT_EQ(r.out, "SML file (3 SML messages, " + size + " bytes)\n" + frame + "1-0:1.8.0*255#1234500.0#Wh\n" +
				 "SML file (3 SML messages, " + size + " bytes)\n" + frame + "1-0:1.8.0*255#1234500.7#Wh\n");
	// The cause is the kernel's: a hung-up terminal reads as an error or as the end.
	const std::string prefix = "obisdump: read(" + slave_path + "): ";
	EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
	EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// A line another program left at VMIN 0 and VTIME 0, with hardware flow
// control and upper-case mapping, reads 0 bytes whenever it is idle: the
// end of input, unless obisdump sets it up as a raw line of its own.
TEST(SerialLine, AnIdleLineLeftAtVmin0IsNoEndOfInput) {
	pty line;
	{
		int slave = open(line.slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
		ASSERT_GE(slave, 0);
		termios t{};
		ASSERT_EQ(tcgetattr(slave, &t), 0);
		t.c_cc[VMIN] = 0;
		t.c_cc[VTIME] = 0;
		t.c_cflag |= CRTSCTS;
		t.c_iflag |= IUCLC;
		ASSERT_EQ(tcsetattr(slave, TCSANOW, &t), 0);
		close(slave);
	}
	test::process reader({test::program("obisdump"), line.slave_path});
	termios now = line.raw_settings();
	EXPECT_EQ(now.c_cc[VMIN], 1);
	EXPECT_EQ(now.c_cc[VTIME], 0);
	EXPECT_EQ(now.c_cflag & CRTSCTS, 0u);
	EXPECT_EQ(now.c_iflag & IUCLC, 0u);

	EXPECT_TRUE(reader.runs_for(std::chrono::seconds(3))) << reader.err();
	ASSERT_TRUE(line.send(meter_frame(12345000)));
	EXPECT_TRUE(reader.wait_for_output("1-0:1.8.0*255#1234500.0#Wh\n")) << reader.out() << reader.err();
	line.hang_up();
	auto r = reader.finish();
	EXPECT_EQ(r.status, 4);
	EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(SerialLine, TakesTheRateGiven) {
	const struct {
		std::vector<std::string> options;
		speed_t speed;
	} cases[] = {
		{{}, B9600},
		{{"--baud", "19200"}, B19200},
		{{"--baud=300"}, B300},
		{{"--baud", "115200"}, B115200},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.options.empty() ? "default" : c.options.back());
		pty line;
		std::vector<std::string> args{test::program("obisdump")};
		args.insert(args.end(), c.options.begin(), c.options.end());
		args.push_back(line.slave_path);
		test::process reader(args);
		termios now = line.raw_settings();
		EXPECT_EQ(cfgetispeed(&now), c.speed);
		EXPECT_EQ(cfgetospeed(&now), c.speed);
	}
}

std::vector<std::string> lines(const std::string &text) { return test::lines_of(text); }

bool starts_with(const std::string &s, const std::string &prefix) { return s.rfind(prefix, 0) == 0; }

// A wrong rate or a head beside the port: bytes come, no frame does. After
// 64 KiB one line says so, and only one while it lasts.
TEST(SerialLine, BytesWithoutAFrameAreSaidOnce) {
	pty line;
	test::process reader({test::program("obisdump"), line.slave_path});
	line.raw_settings();
	std::vector<unsigned char> noise(2 * 65536);
	for (size_t i = 0; i < noise.size(); i++)
		noise[i] = static_cast<unsigned char>(i % 251 == 0x1B ? 0x55 : i % 251);
	ASSERT_TRUE(line.send(noise));
	const std::string hint = " but no SML frame; check that the reading head sits straight on the meter's optical "
				 "port, and the baud rate (9600 now, see --baud)";
	EXPECT_TRUE(reader.wait_for_error(hint)) << reader.err();
	ASSERT_TRUE(line.send(meter_frame(12345000)));
	EXPECT_TRUE(reader.wait_for_output("1-0:1.8.0*255#1234500.0#Wh\n")) << reader.out() << reader.err();
	line.hang_up();
	auto r = reader.finish();
	EXPECT_EQ(r.status, 4);
	auto err = lines(r.err);
	ASSERT_GE(err.size(), 2u) << r.err;
	unsigned long long bytes = 0;
	EXPECT_EQ(std::sscanf(err[0].c_str(), "obisdump: warning: %llu bytes in ", &bytes), 1) << err[0];
	EXPECT_GE(bytes, 65536u);
	EXPECT_LE(bytes, noise.size());
	EXPECT_EQ(err[0].substr(err[0].size() - std::min(err[0].size(), hint.size())), hint);
	EXPECT_EQ(std::count_if(err.begin(), err.end(), [&](const std::string &l) { return l.find(hint) != l.npos; }), 1)
		<< r.err;
	EXPECT_TRUE(starts_with(err.back(), "obisdump: read(" + line.slave_path + "): ")) << r.err;
}

// A meter that stops sending while the line stays up: one line when the
// silence has lasted --silence seconds, one when bytes come again.
TEST(SerialLine, SilenceIsSaidOnceAndSoIsItsEnd) {
	pty line;
	test::process reader({test::program("obisdump"), "--silence", "0.3", line.slave_path});
	line.raw_settings();
	const std::string silence = "obisdump: warning: nothing received for 0.3 s; is the reading head on the meter's "
				    "optical port, and its cable plugged in?\n";
	EXPECT_TRUE(reader.wait_for_error(silence)) << reader.err();
	EXPECT_TRUE(reader.runs_for(std::chrono::seconds(1)));
	EXPECT_EQ(reader.err(), silence);
	ASSERT_TRUE(line.send(meter_frame(12345000)));
	EXPECT_TRUE(reader.wait_for_output("1-0:1.8.0*255#1234500.0#Wh\n")) << reader.out() << reader.err();
	EXPECT_TRUE(reader.wait_for_error(" s of silence\n")) << reader.err();
	line.hang_up();
	auto r = reader.finish();
	EXPECT_EQ(r.status, 4);
	auto err = lines(r.err);
	ASSERT_GE(err.size(), 3u) << r.err;
	EXPECT_EQ(err[0] + "\n", silence);
	double after = 0;
	EXPECT_EQ(std::sscanf(err[1].c_str(), "obisdump: receiving again after %lf s of silence", &after), 1) << err[1];
	EXPECT_GE(after, 1.0);
	// A slow machine may see the line fall silent again before it closes.
	for (size_t i = 2; i + 1 < err.size(); i++)
		EXPECT_EQ(err[i] + "\n", silence);
	EXPECT_TRUE(starts_with(err.back(), "obisdump: read(" + line.slave_path + "): ")) << r.err;
}

// A frame that fails its CRC is reported as it ends, not when the meter's
// next frame begins seconds later.
TEST(SerialLine, ABadFrameIsReportedBeforeTheNextArrives) {
	pty line;
	test::process reader({test::program("obisdump"), line.slave_path});
	line.raw_settings();
	auto damaged = meter_frame(12345000);
	damaged.back() ^= 0xFF;
	ASSERT_TRUE(line.send(damaged));
	const std::string warning =
		"obisdump: warning: frame of " + std::to_string(damaged.size()) + " bytes fails its CRC check, skipped\n";
	EXPECT_TRUE(reader.wait_for_error(warning)) << reader.err();
	EXPECT_EQ(reader.out(), "");
	ASSERT_TRUE(line.send(meter_frame(12345000)));
	EXPECT_TRUE(reader.wait_for_output("1-0:1.8.0*255#1234500.0#Wh\n")) << reader.out() << reader.err();
	line.hang_up();
	auto r = reader.finish();
	EXPECT_EQ(r.status, 4);
	EXPECT_EQ(r.err.find(warning), 0u) << r.err;
}

} // namespace
