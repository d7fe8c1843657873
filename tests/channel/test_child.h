#pragma once
// Forked simulator-side processes for channel tests. The parent stops a child
// by its process id; a child also ends on its own once its parent is gone or
// after a deadline, so nothing outlives a failed test.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "orvo2/channel/server_manager.h"
#include "test_device.h"

namespace Orvo {
namespace test {

class ChildProcess {
public:
  // Runs `body` in a child process, which then ends with _exit(0).
  explicit ChildProcess(const std::function<void()>& body) {
    const pid_t parent = ::getpid();
    _pid = ::fork();
    if (_pid == 0) {
      _parent = parent;
      body();
      ::_exit(0);
    }
  }
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return _pid; }
  // Kills the child and reaps it, so that it no longer exists.
  void stop() {
    if (_pid > 0) {
      ::kill(_pid, SIGKILL);
      ::waitpid(_pid, nullptr, 0);
      _pid = -1;
    }
  }
  // Reaps a child that ends by itself; false if it is still running after `timeout`.
  bool wait_exit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(_pid, nullptr, WNOHANG) == _pid) {
        _pid = -1;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  // In the child: true while the test process is there.
  static bool parent_alive() { return ::getppid() == _parent; }

private:
  pid_t _pid = -1;
  static inline pid_t _parent = 0;
};

// Simulator stand-in for one device "hip": every cycle writes `base + cycle`
// into rx floats 0 to 9 and echoes the last received tx float 0 in rx float 10.
inline void serve_counting(const std::string& channel, float base) {
  auto hip = std::make_shared<TestDevice>("hip");
  ServerManager server(devices(hip), "shm", channel);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int cycle = 0; ChildProcess::parent_alive() && std::chrono::steady_clock::now() < deadline; ++cycle) {
    server.run();
    float echo;
    std::memcpy(&echo, hip->tx.data(), 4);
    hip->fill_rx(base + static_cast<float>(cycle));
    std::memcpy(hip->rx.data() + 40, &echo, 4);
    server.send(false);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

// Calls `step` about once per millisecond until it returns true; false after `timeout`.
inline bool cycle_until(const std::function<bool()>& step, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (step()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace test
}  // namespace Orvo
