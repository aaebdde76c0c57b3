#include "source.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../examples/serial_line.h"
#include "log.hpp"

namespace zmqtt {
namespace {

constexpr millis max_backoff{30'000};
constexpr millis connect_timeout{10'000};

// One read buffer for every source: the loop reads one source at a time.
unsigned char chunk[65536];

// A pseudo error for a line or connection that ended.
constexpr int end_of_stream = -1;

std::string cause(int error) { return error == end_of_stream ? "end of stream" : std::strerror(error); }

} // namespace

source::source(const source_settings &s, size_t number, meters &to) : path_(s.path), baud_(s.baud) {
	struct stat st;
	if (path_ == "-") {
		kind_ = kind::stream;
	} else if (path_.rfind("tcp://", 0) == 0) {
		kind_ = kind::tcp;
		std::string rest = path_.substr(6);
		size_t colon = rest.rfind(':');
		host_ = rest.substr(0, colon);
		port_ = rest.substr(colon + 1);
		if (host_.size() >= 2 && host_.front() == '[')
			host_ = host_.substr(1, host_.size() - 2);
	} else if (::stat(path_.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
		kind_ = kind::stream;
	} else {
		// A device, or a path where one will appear when the head is plugged in.
		kind_ = kind::device;
	}
	decoder_ = std::make_unique<decoder>(to, number, path_, lossless());
	open(steady::now());
}

source::~source() { close_fd(); }

void source::close_fd() {
	if (fd_ > STDIN_FILENO)
		::close(fd_);
	fd_ = -1;
}

short source::poll_events() const { return connecting_ ? POLLOUT : POLLIN; }

time_point source::deadline() const {
	if (finished_)
		return never;
	if (connecting_)
		return connect_deadline_;
	return fd_ < 0 ? retry_at_ : never;
}

void source::open(time_point now) {
	switch (kind_) {
	case kind::stream:
		// Blocking: it is read only when poll says so. A FIFO without a
		// writer yet polls as nothing, not as its end.
		fd_ = path_ == "-" ? STDIN_FILENO : ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
		if (fd_ < 0) {
			log::error("%s: cannot open (%s)", path_.c_str(), std::strerror(errno));
			finished_ = true;
			return;
		}
		if (fd_ != STDIN_FILENO)
			fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
		log::debug("%s: reading", path_.c_str());
		return;
	case kind::device:
		fd_ = serial_line_open(path_.c_str(), baud_);
		if (fd_ < 0)
			return failed(now, "cannot open", errno);
		return opened(now);
	case kind::tcp: {
		addrinfo hints{};
		hints.ai_family = AF_UNSPEC;
		hints.ai_socktype = SOCK_STREAM;
		hints.ai_flags = AI_NUMERICSERV;
		addrinfo *found = nullptr;
		int rc = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found);
		if (rc != 0) {
			if (!failing_ || last_error_ != end_of_stream - 1)
				log::info("%s: cannot resolve %s (%s), retrying", path_.c_str(), host_.c_str(),
					  gai_strerror(rc));
			failing_ = true;
			last_error_ = end_of_stream - 1;
			retry_at_ = now + backoff_;
			backoff_ = std::min(backoff_ * 2, max_backoff);
			return;
		}
		int error = ECONNREFUSED;
		for (addrinfo *a = found; a && fd_ < 0; a = a->ai_next) {
			fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
			if (fd_ < 0) {
				error = errno;
				continue;
			}
			if (::connect(fd_, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS)
				break;
			error = errno;
			close_fd();
		}
		freeaddrinfo(found);
		if (fd_ < 0)
			return failed(now, "cannot connect", error);
		int on = 1;
		setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
		connecting_ = true;
		connect_deadline_ = now + connect_timeout;
		return;
	}
	}
}

void source::opened(time_point now) {
	(void)now;
	got_bytes_ = false;
	if (failing_)
		log::info("%s: %s again", path_.c_str(), kind_ == kind::tcp ? "connected" : "open");
	else if (kind_ == kind::device)
		log::info("%s: open at %u baud", path_.c_str(), baud_);
	else
		log::info("%s: connected", path_.c_str());
	failing_ = false;
	last_error_ = 0;
}

// One line when the source goes down, and one for each new cause; the
// retries themselves only with --verbose.
void source::failed(time_point now, const std::string &what, int error) {
	close_fd();
	connecting_ = false;
	decoder_->finish(now);
	if (!failing_ || error != last_error_)
		log::info("%s: %s (%s), %s", path_.c_str(), what.c_str(), cause(error).c_str(),
			  "retrying");
	else
		log::debug("%s: %s (%s), next try in %lld ms", path_.c_str(), what.c_str(), cause(error).c_str(),
			   static_cast<long long>(backoff_.count()));
	failing_ = true;
	last_error_ = error;
	// A line that opens and fails at once is not tried again at once.
	if (got_bytes_)
		backoff_ = millis(1000);
	got_bytes_ = false;
	retry_at_ = now + backoff_;
	backoff_ = std::min(backoff_ * 2, max_backoff);
}

void source::on_timer(time_point now) {
	if (finished_)
		return;
	if (connecting_ && now >= connect_deadline_)
		return failed(now, "cannot connect", ETIMEDOUT);
	if (fd_ < 0 && now >= retry_at_)
		open(now);
}

void source::on_ready(short revents, time_point now) {
	if (connecting_) {
		int error = 0;
		socklen_t len = sizeof error;
		if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
			error = errno;
		if (error != 0)
			return failed(now, "cannot connect", error);
		connecting_ = false;
		return opened(now);
	}
	if (revents & (POLLIN | POLLHUP | POLLERR))
		read_some(now);
}

void source::read_some(time_point now) {
	ssize_t n = ::read(fd_, chunk, sizeof chunk);
	if (n > 0) {
		got_bytes_ = true;
		decoder_->feed({chunk, static_cast<size_t>(n)}, now);
		return;
	}
	if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
		return;
	int error = n == 0 ? end_of_stream : errno;
	if (kind_ == kind::stream) {
		decoder_->finish(now);
		if (n < 0)
			log::error("%s: read failed (%s)", path_.c_str(), std::strerror(error));
		log::debug("%s: finished, %llu frames", path_.c_str(), static_cast<unsigned long long>(decoder_->frames()));
		close_fd();
		finished_ = true;
		return;
	}
	failed(now, kind_ == kind::tcp ? "connection lost" : "line lost", error);
}

} // namespace zmqtt
