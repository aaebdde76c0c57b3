// Running the example programs: bytes on stdin, stdout and stderr captured
// whole, the exit status.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char **environ;

namespace test {

inline std::string program(const char *name) { return std::string(ZELKOR_BIN_DIR) + "/" + name; }

struct outcome {
	int status = -1; // exit status, or 128 + signal
	std::string out;
	std::string err;
};

// A running program with its three standard streams on pipes.
class process {
public:
	explicit process(const std::vector<std::string> &args) {
		int in[2], out[2], err[2];
		if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
			throw std::runtime_error("pipe");
		posix_spawn_file_actions_t actions;
		posix_spawn_file_actions_init(&actions);
		posix_spawn_file_actions_adddup2(&actions, in[0], 0);
		posix_spawn_file_actions_adddup2(&actions, out[1], 1);
		posix_spawn_file_actions_adddup2(&actions, err[1], 2);
		// Descriptors the test holds (a terminal's master side) stay out of the child.
		posix_spawn_file_actions_addclosefrom_np(&actions, 3);
		std::vector<char *> argv;
		for (const auto &a : args)
			argv.push_back(const_cast<char *>(a.c_str()));
		argv.push_back(nullptr);
		int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
		posix_spawn_file_actions_destroy(&actions);
		::close(in[0]);
		::close(out[1]);
		::close(err[1]);
		in_ = in[1];
		out_ = out[0];
		err_ = err[0];
		if (rc != 0) {
			pid_ = -1;
			throw std::runtime_error("posix_spawn " + args[0]);
		}
		// A reader that stops early must not kill the test with SIGPIPE.
		fcntl(in_, F_SETFL, O_NONBLOCK);
		signal(SIGPIPE, SIG_IGN);
	}

	process(const process &) = delete;
	process &operator=(const process &) = delete;

	~process() {
		if (pid_ > 0) {
			kill(pid_, SIGKILL);
			waitpid(pid_, nullptr, 0);
		}
		for (int fd : {in_, out_, err_})
			if (fd >= 0)
				::close(fd);
	}

	// Feeds input and collects output until done() holds or the deadline
	// passes; false on the deadline.
	bool pump(const std::function<bool()> &done, std::chrono::milliseconds limit) {
		auto deadline = std::chrono::steady_clock::now() + limit;
		while (!done()) {
			if (in_ >= 0 && closing_ && sent_ == input_.size()) {
				::close(in_);
				in_ = -1;
			}
			auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
				deadline - std::chrono::steady_clock::now());
			if (left.count() <= 0)
				return false;
			pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {in_, POLLOUT, 0}};
			nfds_t n = in_ >= 0 && sent_ < input_.size() ? 3 : 2;
			if (poll(fds, n, static_cast<int>(std::min<long>(left.count(), 100))) < 0)
				continue;
			drain(out_, result_.out, fds[0].revents);
			drain(err_, result_.err, fds[1].revents);
			if (n == 3 && fds[2].revents) {
				ssize_t w = ::write(in_, input_.data() + sent_, input_.size() - sent_);
				if (w > 0)
					sent_ += static_cast<size_t>(w);
				else if (w < 0 && errno != EAGAIN && errno != EINTR)
					sent_ = input_.size();
			}
		}
		return true;
	}

	void send(const std::vector<unsigned char> &bytes) {
		input_.insert(input_.end(), bytes.begin(), bytes.end());
		pump([&] { return sent_ == input_.size(); }, std::chrono::seconds(30));
	}

	const std::string &out() const { return result_.out; }
	const std::string &err() const { return result_.err; }

	// Waits until stdout holds text; false when it does not by the limit or
	// by the program's end.
	bool wait_for_output(const std::string &text, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
		return wait_for(result_.out, text, limit);
	}

	// The same for stderr.
	bool wait_for_error(const std::string &text, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
		return wait_for(result_.err, text, limit);
	}

	// Collects output for the whole time given; false when the program
	// closed its output (ended) before.
	bool runs_for(std::chrono::milliseconds time) {
		return !pump([&] { return out_ < 0 && err_ < 0; }, time);
	}

	// Closes stdin once everything is sent, collects both streams to their
	// end and returns the exit status; kills the program after the limit.
	outcome finish(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
		closing_ = true;
		bool ended = pump([&] { return out_ < 0 && err_ < 0; }, limit);
		if (!ended)
			ADD_FAILURE() << "program still running after " << limit.count() << " ms";
		if (!ended)
			kill(pid_, SIGKILL);
		int status = 0;
		waitpid(pid_, &status, 0);
		pid_ = -1;
		result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		return result_;
	}

private:
	bool wait_for(const std::string &in, const std::string &text, std::chrono::milliseconds limit) {
		auto found = [&] { return in.find(text) != std::string::npos; };
		pump([&] { return found() || (out_ < 0 && err_ < 0); }, limit);
		return found();
	}

	void drain(int &fd, std::string &into, short revents) {
		if (fd < 0 || !revents)
			return;
		char chunk[4096];
		ssize_t r = ::read(fd, chunk, sizeof chunk);
		if (r > 0) {
			into.append(chunk, static_cast<size_t>(r));
		} else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
			::close(fd);
			fd = -1;
		}
	}

	pid_t pid_ = -1;
	int in_ = -1, out_ = -1, err_ = -1;
	std::vector<unsigned char> input_;
	size_t sent_ = 0;
	bool closing_ = false;
	outcome result_;
};

// What a program wrote, line by line, without the line ends.
inline std::vector<std::string> lines_of(const std::string &text) {
	std::vector<std::string> lines;
	for (size_t at = 0; at < text.size();) {
		size_t end = text.find('\n', at);
		end = end == std::string::npos ? text.size() : end;
		lines.push_back(text.substr(at, end - at));
		at = end + 1;
	}
	return lines;
}

// Runs a program to its end with input on stdin.
inline outcome run(const std::vector<std::string> &args, const std::vector<unsigned char> &input = {}) {
	process p(args);
	if (!input.empty())
		p.send(input);
	return p.finish();
}

} // namespace test
