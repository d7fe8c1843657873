#pragma once
// A ROS master of the test's own: /usr/bin/rosmaster on a free loopback
// port, with a temporary ROS_HOME, stopped by its process id when the object
// goes. environment() gives what a ROS client of this master needs;
// export_environment() sets it in the test process (before ros::init).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "spawned_process.h"
#include "temp_dir.h"

namespace OrvoTest {

class PrivateRosMaster {
public:
  // Starts the master and waits (at most 20 s) until it accepts connections;
  // throws std::runtime_error with its output when it does not.
  explicit PrivateRosMaster(const std::string& tag) : _home(tag + "_ros_home") {
    for (int attempt = 0; attempt < 3; ++attempt) {
      _port = free_port();
      _process = std::make_unique<SpawnedProcess>(
          std::vector<std::string>{"/usr/bin/rosmaster", "--core", "-p", std::to_string(_port)}, environment(),
          _home.path() + "/rosmaster.log");
      if (wait_until_listening(std::chrono::seconds(20))) {
        return;
      }
      _process->stop(SIGKILL, std::chrono::seconds(2));
    }
    throw std::runtime_error("rosmaster did not start: " + _process->output());
  }

  ~PrivateRosMaster() { _process->stop(SIGINT, std::chrono::seconds(10)); }

  int port() const { return _port; }
  std::string uri() const { return "http://127.0.0.1:" + std::to_string(_port); }
  std::string home() const { return _home.path(); }

  std::map<std::string, std::string> environment() const {
    return {{"ROS_MASTER_URI", uri()}, {"ROS_HOSTNAME", "127.0.0.1"}, {"ROS_HOME", home()}};
  }

  void export_environment() const {
    for (const auto& item : environment()) {
      ::setenv(item.first.c_str(), item.second.c_str(), 1);
    }
  }

private:
  static int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
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

  bool wait_until_listening(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline && _process->running()) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(_port));
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
      ::close(fd);
      if (up) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  TempDir _home;
  int _port = 0;
  std::unique_ptr<SpawnedProcess> _process;
};

}  // namespace OrvoTest
