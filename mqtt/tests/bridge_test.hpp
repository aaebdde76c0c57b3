// What the bridge's tests run it against: a real mosquitto broker on a free
// loopback port, a subscriber on it, and programs (the bridge, meter-sim)
// with their output where the test wants it. Every wait has a deadline.
#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mosquitto.h>

#include <gtest/gtest.h>

extern char **environ;

namespace mqtt_test {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;
using millis = std::chrono::milliseconds;

inline std::string bridge() { return ZELKOR_MQTT_BIN; }
inline std::string meter_sim() { return std::string(ZELKOR_BIN_DIR) + "/meter-sim"; }

struct temp_dir {
	std::string path;
	temp_dir() {
		char name[] = "/tmp/zelkor-mqtt-test-XXXXXX";
		if (!mkdtemp(name))
			throw std::runtime_error("mkdtemp");
		path = name;
	}
	~temp_dir() {
		std::error_code ignored;
		std::filesystem::remove_all(path, ignored);
	}
	std::string file(const std::string &name) const { return path + "/" + name; }
};

// A port nobody listens on now, on 127.0.0.1.
inline int free_port() {
	int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in a{};
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof a;
	if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
	    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0)
		throw std::runtime_error("no free port");
	close(s);
	return ntohs(a.sin_port);
}

// A program with standard input from /dev/null, standard output to out (or
// /dev/null) and standard error collected; killed at the end if still
// running.
class child {
public:
	explicit child(const std::vector<std::string> &args, int out = -1) {
		int err[2];
		if (pipe2(err, O_CLOEXEC) != 0)
			throw std::runtime_error("pipe");
		posix_spawn_file_actions_t actions;
		posix_spawn_file_actions_init(&actions);
		posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
		if (out >= 0)
			posix_spawn_file_actions_adddup2(&actions, out, 1);
		else
			posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
		posix_spawn_file_actions_adddup2(&actions, err[1], 2);
		posix_spawn_file_actions_addclosefrom_np(&actions, 3);
		std::vector<char *> argv;
		for (const auto &a : args)
			argv.push_back(const_cast<char *>(a.c_str()));
		argv.push_back(nullptr);
		int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
		posix_spawn_file_actions_destroy(&actions);
		close(err[1]);
		err_ = err[0];
		fcntl(err_, F_SETFL, O_NONBLOCK);
		if (rc != 0)
			throw std::runtime_error("posix_spawn " + args[0]);
	}
	child(const child &) = delete;
	child &operator=(const child &) = delete;
	~child() {
		if (pid_ > 0) {
			kill(pid_, SIGKILL);
			waitpid(pid_, nullptr, 0);
		}
		close(err_);
	}

	void signal(int sig) { kill(pid_, sig); }

	// The exit status (128 + signal when killed), or nothing at the limit.
	std::optional<int> wait(millis limit) {
		auto deadline = clock::now() + limit;
		while (pid_ > 0) {
			int status;
			if (waitpid(pid_, &status, WNOHANG) == pid_) {
				pid_ = -1;
				status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
				break;
			}
			if (clock::now() >= deadline)
				return std::nullopt;
			drain();
			std::this_thread::sleep_for(10ms);
		}
		drain();
		return status_;
	}

	const std::string &err() {
		drain();
		return err_text_;
	}

private:
	void drain() {
		char chunk[4096];
		ssize_t n;
		while ((n = read(err_, chunk, sizeof chunk)) > 0)
			err_text_.append(chunk, static_cast<size_t>(n));
	}

	pid_t pid_ = -1;
	int err_ = -1;
	int status_ = -1;
	std::string err_text_;
};

// mosquitto on a free port of 127.0.0.1, without persistence: after a
// restart it knows no retained message.
class broker {
public:
	broker() : port_(free_port()) {
		std::ofstream(dir_.file("mosquitto.conf")) << "listener " << port_ << " 127.0.0.1\n"
							      << "allow_anonymous true\npersistence false\n"
							      << "log_dest none\n";
		start();
	}
	int port() const { return port_; }
	std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

	void start() {
		process_ = std::make_unique<child>(std::vector<std::string>{MOSQUITTO_BROKER, "-c", dir_.file("mosquitto.conf")});
		auto deadline = clock::now() + 10s;
		while (!listening()) {
			if (clock::now() >= deadline)
				throw std::runtime_error("mosquitto does not listen: " + process_->err());
			std::this_thread::sleep_for(20ms);
		}
	}
	// As a crash or a power cut: no goodbye to anyone.
	void kill() {
		process_->signal(SIGKILL);
		process_->wait(10s);
		process_.reset();
	}

private:
	bool listening() const {
		int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		sockaddr_in a{};
		a.sin_family = AF_INET;
		a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		a.sin_port = htons(static_cast<uint16_t>(port_));
		bool ok = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
		close(s);
		return ok;
	}

	temp_dir dir_;
	int port_;
	std::unique_ptr<child> process_;
};

struct message {
	std::string topic, payload;
	bool retained;
};

// A client subscribed to everything, collecting what arrives.
class subscriber {
public:
	explicit subscriber(int port, const char *topic = "#") {
		mosquitto_lib_init();
		m_ = mosquitto_new(nullptr, true, this);
		mosquitto_message_callback_set(m_, [](mosquitto *, void *self, const mosquitto_message *msg) {
			static_cast<subscriber *>(self)->messages.push_back(
				{msg->topic, std::string(static_cast<const char *>(msg->payload), static_cast<size_t>(msg->payloadlen)),
				 msg->retain});
		});
		mosquitto_subscribe_callback_set(m_, [](mosquitto *, void *self, int, int, const int *) {
			static_cast<subscriber *>(self)->subscribed_ = true;
		});
		if (mosquitto_connect(m_, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS)
			throw std::runtime_error("subscriber cannot connect");
		mosquitto_subscribe(m_, nullptr, topic, 1);
		if (!wait([&] { return subscribed_; }, 10s))
			throw std::runtime_error("no SUBACK");
	}
	subscriber(const subscriber &) = delete;
	subscriber &operator=(const subscriber &) = delete;
	~subscriber() {
		mosquitto_disconnect(m_);
		mosquitto_destroy(m_);
		mosquitto_lib_cleanup();
	}

	// Takes messages until done() holds; false at the limit.
	bool wait(const std::function<bool()> &done, millis limit = 20s) {
		auto deadline = clock::now() + limit;
		while (!done()) {
			if (clock::now() >= deadline)
				return false;
			mosquitto_loop(m_, 20, 1);
		}
		return true;
	}
	// Takes what arrives for a while.
	void take(millis span) {
		auto until = clock::now() + span;
		wait([&] { return clock::now() >= until; }, span + 1s);
	}

	void publish(const std::string &topic, const std::string &payload) {
		mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
	}

	const message *last(const std::string &topic) const {
		for (auto it = messages.rbegin(); it != messages.rend(); ++it)
			if (it->topic == topic)
				return &*it;
		return nullptr;
	}
	size_t count(const std::string &topic) const {
		size_t n = 0;
		for (auto &m : messages)
			n += m.topic == topic;
		return n;
	}
	bool has(const std::string &topic, const std::string &payload) const {
		const message *m = last(topic);
		return m && m->payload == payload;
	}

	std::vector<message> messages;

private:
	mosquitto *m_ = nullptr;
	bool subscribed_ = false;
};

// meter-sim's meter: its server id and the readings Home Assistant is told of.
inline const std::string sim_meter = "0a015a4c4b0000bc614e";
inline const std::vector<std::string> sim_numeric = {"1_0_1_8_0_255", "1_0_2_8_0_255", "1_0_16_7_0_255",
						      "1_0_32_7_0_255"};

} // namespace mqtt_test
