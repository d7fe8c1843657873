#pragma once
// A thread that advertises services (it becomes their server thread) and then
// drains its callback queue in a loop, as a worker thread would, until
// destroyed. Draining can be paused to let calls time out.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "orvo2/tasks/callback_queue.h"

namespace Orvo {
namespace test {

class ServerThread {
public:
  // `setup` runs first in the new thread with the queue to register on.
  explicit ServerThread(std::function<void(CallbackQueue&)> setup)
      : _thread([this, setup] {
          setup(_queue);
          _ready.store(true);
          while (_running.load()) {
            // Marked before the flag is read, so that a pause sees a drain
            // that read it before the pause was set.
            _in_drain.store(true);
            if (_draining.load()) {
              _queue.run();
            }
            _in_drain.store(false);
            std::this_thread::yield();
          }
        }) {
    // Bounded: the set-up only advertises.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!_ready.load() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  ~ServerThread() {
    _running.store(false);
    _thread.join();
  }

  bool ready() const { return _ready.load(); }
  // A pause returns once a drain in progress has ended: from then on no call
  // is served until draining is resumed.
  void set_draining(bool draining) {
    _draining.store(draining);
    while (_in_drain.load()) {
      std::this_thread::yield();
    }
  }

private:
  CallbackQueue _queue;
  std::atomic<bool> _ready{false};
  std::atomic<bool> _running{true};
  std::atomic<bool> _draining{true};
  std::atomic<bool> _in_drain{false};
  std::thread _thread;
};

}  // namespace test
}  // namespace Orvo
