// obisdump on a real terminal line: a pseudo-terminal plays the meter's
// serial port, frames go in on the master side, readings come out.
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_open_response.h>
#include <sml/sml_transport.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
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

} // namespace
