#include "stop_deadline.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include <fmt/format.h>
#include <ros/init.h>

namespace Orvo {

struct StopDeadline::State {
  std::mutex mutex;
  std::string releasing = "the threads";
};

namespace {

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) {
      return;
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

StopDeadline::StopDeadline(std::chrono::milliseconds limit) : _state(std::make_shared<State>()) {
  if (!ros::isStarted()) {
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::thread([state = _state, limit, deadline] {
    std::this_thread::sleep_until(deadline);
    std::string abandoned;
    {
      const std::lock_guard<std::mutex> lock(state->mutex);
      abandoned = state->releasing;
    }
    // The main thread may be blocked anywhere, even inside stdio: the journal's
    // pending output is flushed only if stdout is free.
    if (ftrylockfile(stdout) == 0) {
      fflush_unlocked(stdout);
      funlockfile(stdout);
    }
    write_all(STDERR_FILENO,
              fmt::format("orvocore: stopping did not end within {} ms: still releasing {} (is the ROS master "
                          "answering? is a plug-in slow to end?); abandoned that and what follows; ending the "
                          "process with status 1\n",
                          limit.count(), abandoned));
    ::_exit(1);
  }).detach();
}

void StopDeadline::releasing(const std::string& what) {
  const std::lock_guard<std::mutex> lock(_state->mutex);
  _state->releasing = what;
}

}  // namespace Orvo
