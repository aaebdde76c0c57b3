#include "bridge.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "log.hpp"

namespace zmqtt {
namespace {

// SIGTERM: offline on both status topics and out, within two seconds.
constexpr millis term_limit{1800};
// Every source finished: what is left to deliver, with some patience.
constexpr millis drain_limit{10'000};

} // namespace

bridge::bridge(const options &o) : o_(o), out_(o, *this), meters_(o, out_) {
	sigset_t set;
	sigemptyset(&set);
	sigaddset(&set, SIGTERM);
	sigaddset(&set, SIGINT);
	sigprocmask(SIG_BLOCK, &set, nullptr);
	signal_fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
	std::signal(SIGPIPE, SIG_IGN);
	for (size_t i = 0; i < o.sources.size(); i++)
		sources_.push_back(std::make_unique<source>(o.sources[i], i + 1, meters_));
}

bridge::~bridge() {
	if (signal_fd_ >= 0)
		::close(signal_fd_);
}

void bridge::connected(time_point now) { meters_.on_connected(now); }
void bridge::discovery_asked() { meters_.on_discovery_asked(); }

void bridge::begin_end(time_point now, millis limit) {
	ending_ = true;
	end_deadline_ = now + limit;
	meters_.shutdown();
	out_.close();
}

int bridge::run() {
	std::vector<pollfd> fds;
	std::vector<source *> polled;
	for (;;) {
		time_point now = steady::now();
		if (out_.closed())
			break;
		if (ending_ && now >= end_deadline_) {
			log::info("not everything acknowledged in time, ending all the same");
			break;
		}
		if (!ending_ && std::all_of(sources_.begin(), sources_.end(), [](auto &s) { return s->finished(); }) &&
		    !meters_.pending() && out_.ready()) {
			log::debug("every source finished, every value delivered");
			begin_end(now, drain_limit);
			continue;
		}
		if (meters_.pending() && out_.ready())
			meters_.flush(now);

		fds.clear();
		polled.clear();
		fds.push_back({signal_fd_, POLLIN, 0});
		int broker = out_.fd();
		fds.push_back({broker, broker >= 0 ? out_.poll_events() : short(0), 0});
		// A file waits while the broker cannot take its readings at once.
		bool files = out_.ready() && !ending_;
		for (auto &s : sources_) {
			if (s->fd() < 0 || ending_ || (s->lossless() && !files))
				continue;
			fds.push_back({s->fd(), s->poll_events(), 0});
			polled.push_back(s.get());
		}

		time_point next = std::min({out_.deadline(), meters_.deadline(), end_deadline_});
		for (auto &s : sources_)
			next = std::min(next, s->deadline());
		int timeout = -1;
		if (next != never) {
			auto wait = std::chrono::ceil<millis>(next - now).count();
			timeout = static_cast<int>(std::clamp<long long>(wait, 0, 24 * 3600 * 1000));
		}
		int n = poll(fds.data(), fds.size(), timeout);
		if (n < 0 && errno != EINTR) {
			log::error("poll: %s", std::strerror(errno));
			return 1;
		}
		now = steady::now();
		if (n > 0) {
			if (fds[0].revents) {
				signalfd_siginfo info;
				if (::read(signal_fd_, &info, sizeof info) == sizeof info && !ending_) {
					log::info("%s: publishing offline and ending", strsignal(static_cast<int>(info.ssi_signo)));
					begin_end(now, term_limit);
				}
			}
			if (fds[1].revents)
				out_.on_ready(fds[1].revents, now);
			for (size_t i = 0; i < polled.size(); i++)
				if (fds[i + 2].revents)
					polled[i]->on_ready(fds[i + 2].revents, now);
		}
		out_.on_timer(now);
		meters_.on_timer(now);
		for (auto &s : sources_)
			s->on_timer(now);
	}
	return exit_ok;
}

} // namespace zmqtt
