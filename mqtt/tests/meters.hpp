// meter-sim as the bridge meets a meter: behind a TCP gateway, or on a
// pseudo-terminal whose path is a symlink, as /dev/serial/by-id gives one.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include <termios.h>

#include "bridge_test.hpp"

namespace mqtt_test {

// A gateway on 127.0.0.1: the bridge connects, meter-sim writes into the
// connection.
class tcp_meter {
public:
	tcp_meter() : port_(free_port()) {
		listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		int on = 1;
		setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
		sockaddr_in a{};
		a.sin_family = AF_INET;
		a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		a.sin_port = htons(static_cast<uint16_t>(port_));
		if (bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(listener_, 4) != 0)
			throw std::runtime_error("tcp_meter: listen");
	}
	~tcp_meter() {
		sim_.reset();
		if (conn_ >= 0)
			close(conn_);
		close(listener_);
	}
	std::string source() const { return "tcp://127.0.0.1:" + std::to_string(port_); }

	// Takes the bridge's connection and starts sending a frame a second.
	bool serve(millis limit = 15s) {
		pollfd p{listener_, POLLIN, 0};
		if (poll(&p, 1, static_cast<int>(limit.count())) != 1)
			return false;
		conn_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
		if (conn_ < 0)
			return false;
		sim_ = std::make_unique<child>(std::vector<std::string>{meter_sim(), "-n", "0", "-i", "1"}, conn_);
		return true;
	}

private:
	int port_;
	int listener_ = -1;
	int conn_ = -1;
	std::unique_ptr<child> sim_;
};

// A pseudo-terminal, raw, reached through a symlink; meter-sim writes a
// frame a second to its master side.
class pty_meter {
public:
	explicit pty_meter(std::string link) : link_(std::move(link)) {}
	~pty_meter() { unplug(); }

	void plug() {
		master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
		if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
			throw std::runtime_error("posix_openpt");
		std::string slave = ptsname(master_);
		int s = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
		termios t{};
		tcgetattr(s, &t);
		cfmakeraw(&t);
		tcsetattr(s, TCSANOW, &t);
		close(s);
		std::string tmp = link_ + ".new";
		unlink(tmp.c_str());
		if (symlink(slave.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link_.c_str()) != 0)
			throw std::runtime_error("symlink");
		sim_ = std::make_unique<child>(std::vector<std::string>{meter_sim(), "-n", "0", "-i", "1"}, master_);
	}
	// The head pulled out: its path goes first, as udev removes the link, so
	// that the bridge never reopens a terminal number another test has been
	// given meanwhile; then the terminal is gone.
	void unplug() {
		if (master_ >= 0)
			unlink(link_.c_str());
		sim_.reset();
		if (master_ >= 0)
			close(master_);
		master_ = -1;
	}

private:
	std::string link_;
	int master_ = -1;
	std::unique_ptr<child> sim_;
};

} // namespace mqtt_test
