#pragma once
// Processes for the bridge's end-to-end tests: a child process stopped by its
// pid, a rosmaster on a free loopback port, and the ROS command-line tools,
// every wait bounded.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace OrvoTest {

template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A port on 127.0.0.1 that was free a moment ago.
inline int free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free loopback port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

inline bool port_accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return ok;
}

// A program run with the test's environment, its standard output and error
// going to `log`. Stopped with SIGINT (then SIGKILL after `grace`) by pid.
class ChildProcess {
public:
  ChildProcess(const std::vector<std::string>& argv, std::string log) : _log(std::move(log)) {
    _pid = ::fork();
    if (_pid == 0) {
      const int fd = ::open(_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, STDOUT_FILENO);
      ::dup2(fd, STDERR_FILENO);
      std::vector<char*> args;
      for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
      }
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // SIGINT, bounded wait, then SIGKILL. The exit status, or -1 when killed.
  int stop(std::chrono::milliseconds grace = std::chrono::seconds(10)) {
    if (_pid > 0) {
      ::kill(_pid, SIGINT);
      if (!wait_until([this] { return !running(); }, grace)) {
        ::kill(_pid, SIGKILL);
        ::waitpid(_pid, nullptr, 0);
        _pid = -1;
      }
    }
    return _status;
  }

  // Reaps the process when it has ended.
  bool running() {
    int status = 0;
    if (_pid > 0 && ::waitpid(_pid, &status, WNOHANG) == _pid) {
      _status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      _pid = -1;
    }
    return _pid > 0;
  }

  // The process id while it runs, else -1.
  pid_t pid() const { return _pid; }

  std::string output() const {
    std::ifstream in(_log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

private:
  pid_t _pid = -1;
  int _status = -1;
  std::string _log;
};

// rosmaster --core on `port`, ready once it accepts connections.
class RosMaster {
public:
  RosMaster(int port, const std::string& log)
      : _process({"/usr/bin/python3", "/usr/bin/rosmaster", "--core", "-p", std::to_string(port)}, log),
        _ready(wait_until([port] { return port_accepts(port); }, std::chrono::seconds(20))) {}
  bool ready() const { return _ready; }

private:
  ChildProcess _process;
  bool _ready;
};

// A shell command (a ROS tool), bounded by `timeout`; its standard output and error.
inline std::string run_tool(const std::string& command, int seconds = 20) {
  const std::string bounded = "timeout " + std::to_string(seconds) + " " + command + " 2>&1";
  FILE* pipe = ::popen(bounded.c_str(), "r");
  if (pipe == nullptr) {
    return "popen failed";
  }
  std::string out;
  std::array<char, 4096> buffer{};
  size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    out.append(buffer.data(), read);
  }
  ::pclose(pipe);
  return out;
}

}  // namespace OrvoTest
