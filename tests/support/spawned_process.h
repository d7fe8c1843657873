#pragma once
// A program started by a test: its standard output and error go to a file,
// it is stopped by its process id with a bounded wait, and killed when it
// does not stop in time (also when the test fails before stopping it).
//
//   OrvoTest::SpawnedProcess p({"/usr/bin/rosmaster", "--core", "-p", "11511"},
//                              {{"ROS_HOME", dir}}, dir + "/master.log");
//   ...
//   int status = p.stop(SIGINT, std::chrono::seconds(5));

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace OrvoTest {

class SpawnedProcess {
public:
  // Starts `argv` with this process's environment plus `env` (which wins);
  // both output streams go to `log_file`. Throws std::runtime_error when the
  // program cannot be started.
  SpawnedProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 std::string log_file)
      : _log_file(std::move(log_file)) {
    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      if (env.count(text.substr(0, text.find('='))) == 0) {
        env_text.push_back(text);
      }
    }
    for (const auto& item : env) {
      env_text.push_back(item.first + "=" + item.second);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& text : env_text) {
      envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, _log_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The program starts with default signal handling and nothing blocked,
    // whatever the test runner set up (a background shell ignores SIGINT).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = posix_spawn(&_pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      throw std::runtime_error("cannot start '" + argv[0] + "': " + std::strerror(rc));
    }
  }

  ~SpawnedProcess() { stop(SIGKILL, std::chrono::seconds(5)); }
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  pid_t pid() const { return _pid; }

  // True while the program runs (reaps it when it has ended).
  bool running() {
    if (_exited) {
      return false;
    }
    int status = 0;
    if (::waitpid(_pid, &status, WNOHANG) == _pid) {
      _exited = true;
      _status = status;
    }
    return !_exited;
  }

  // Waits up to `limit` for the program to end on its own; its wait status,
  // or -1 when it still runs.
  int wait_for_exit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return _status;
  }

  // Sends `signal` and waits up to `limit`; kills the program when it is
  // still there then. Its wait status (-1 when it had to be killed).
  int stop(int signal, std::chrono::milliseconds limit) {
    if (!running()) {
      return _status;
    }
    ::kill(_pid, signal);
    if (wait_for_exit(limit) != -1) {
      return _status;
    }
    ::kill(_pid, SIGKILL);
    int status = 0;
    ::waitpid(_pid, &status, 0);
    _exited = true;
    _status = status;
    return -1;
  }

  // Everything the program wrote so far.
  std::string output() const {
    std::ifstream in(_log_file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Waits up to `limit` until the output contains `part`.
  bool wait_for_output(const std::string& part, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (output().find(part) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

private:
  std::string _log_file;
  pid_t _pid = -1;
  bool _exited = false;
  int _status = 0;
};

}  // namespace OrvoTest
