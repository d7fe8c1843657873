#pragma once
// A ROS master of the test's own: rosmaster --core on a loopback port,
// stopped by its process id (SIGINT, then SIGKILL) when the object goes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"
#include "wait_until.h"

namespace OrvoTest {

// A port on 127.0.0.1 that was free a moment ago.
inline int free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) {
      ::close(fd);
    }
    throw std::runtime_error("no free loopback port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

// Sets ROS_MASTER_URI, ROS_HOSTNAME and ROS_HOME in this process (and so in
// the children it starts from then on) for a master on `port`.
inline void export_ros_environment(int port, const std::string& ros_home) {
  ::setenv("ROS_MASTER_URI", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
  ::setenv("ROS_HOSTNAME", "127.0.0.1", 1);
  ::setenv("ROS_HOME", ros_home.c_str(), 1);
}

class RosMaster {
public:
  // A master on `port` with this process's environment, its output in
  // `log_file`; waits at most 20 s until it serves there (ready()).
  RosMaster(int port, const std::string& log_file) : _port(port) { start(log_file); }

  // A master on a free loopback port with a temporary ROS_HOME, exported to
  // this process (before ros::init); a port taken meanwhile is given up for
  // another. Throws std::runtime_error with the master's output when three
  // ports in turn do not serve within 20 s.
  explicit RosMaster(const std::string& tag) : _home(std::make_unique<TempDir>(tag + "_ros_home")) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      _port = free_loopback_port();
      export_ros_environment(_port, _home->path());
      if (start(_home->path() + "/rosmaster.log")) {
        return;
      }
      _process->stop(SIGKILL, std::chrono::seconds(2));
    }
    throw std::runtime_error("rosmaster did not start on port " + std::to_string(_port) + ": " + _process->output());
  }

  ~RosMaster() { _process->stop(SIGINT, std::chrono::seconds(10)); }
  RosMaster(const RosMaster&) = delete;
  RosMaster& operator=(const RosMaster&) = delete;

  bool ready() const { return _ready; }
  int port() const { return _port; }
  pid_t pid() const { return _process->pid(); }

private:
  // Ready once the master on the port is this child: the port may have been
  // taken between picking and binding it, by a socket of another process or
  // by another test's master, which must not pass for ours.
  bool start(const std::string& log_file) {
    _process = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/python3", "/usr/bin/rosmaster", "--core", "-p", std::to_string(_port)},
        log_file);
    const auto ours = [this] { return master_pid(_port) == _process->pid(); };
    wait_until(
        [&] {
          return !_process->running() ||
                 _process->output().find("Unable to start XML-RPC server") != std::string::npos || ours();
        },
        std::chrono::seconds(20), kProcessPoll);
    _ready = _process->running() && ours();
    return _ready;
  }

  // The process id that the XML-RPC server on `port` gives for getPid, or -1
  // when nothing there answers as a ROS master within 2 s.
  static pid_t master_pid(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
      return -1;
    }
    const timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const std::string body =
        "<?xml version=\"1.0\"?><methodCall><methodName>getPid</methodName><params><param><value>"
        "<string>/test</string></value></param></params></methodCall>";
    const std::string request = "POST / HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    std::string response;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buffer[1024];
      for (ssize_t got; (got = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
        response.append(buffer, static_cast<size_t>(got));
      }
    }
    ::close(fd);
    // The answer is [code 1, message, pid].
    const size_t message = response.find("</string>");
    const size_t pid = response.find("<int>", message == std::string::npos ? response.size() : message);
    return pid == std::string::npos ? -1 : static_cast<pid_t>(std::atoi(response.c_str() + pid + 5));
  }

  std::unique_ptr<TempDir> _home;
  int _port = 0;
  std::unique_ptr<ChildProcess> _process;
  bool _ready = false;
};

}  // namespace OrvoTest
