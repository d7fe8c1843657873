#pragma once
// A program started by a test as a child process, its output in files, every
// wait bounded, signalled and stopped by its process id; still running at the
// end, it is killed and reaped. It starts with default signal handling and
// nothing blocked (a background shell ignores SIGINT), its standard input on
// /dev/null, and without the runner's ORVO_CONFIG unless the test gives one.
//
//   OrvoTest::ChildProcess core({ORVOCORE_PATH, "--config", config});
//   ASSERT_TRUE(core.wait_for_output("started running", 10s)) << core.errors();
//   EXPECT_EQ(core.stop(), 0) << core.output();

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
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

extern char** environ;

namespace OrvoTest {

class ChildProcess {
public:
  // Variables set in the child, over this process's environment.
  using Environment = std::map<std::string, std::string>;

  // Starts `argv` (argv[0] is the program's path); standard output and error
  // go to files of a temporary folder of its own. Throws std::runtime_error
  // when the program cannot be started.
  explicit ChildProcess(const std::vector<std::string>& argv, const Environment& env = {})
      : _dir(std::make_unique<TempDir>("child")),
        _out_file(_dir->path() + "/out.txt"),
        _err_file(_dir->path() + "/err.txt") {
    start(argv, env);
  }

  // Starts `argv` with both output streams going to `log_file`, which stays.
  ChildProcess(const std::vector<std::string>& argv, const std::string& log_file) : _out_file(log_file) {
    start(argv, {});
  }

  ~ChildProcess() { stop(SIGKILL, std::chrono::seconds(5)); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return _pid; }

  // True while the program runs (reaps it when it has ended).
  bool running() {
    int status = 0;
    if (!_exited && ::waitpid(_pid, &status, WNOHANG) == _pid) {
      _exited = true;
      _status = status;
    }
    return !_exited;
  }

  // Sends `signal` while the program has not been reaped.
  void signal(int signal) {
    if (running()) {
      ::kill(_pid, signal);
    }
  }

  // Waits up to `limit` for the program to end; true when it ended.
  bool wait_for_exit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // Sends `signal` and waits up to `limit`, then kills the program. Its exit
  // code, or -1 when a signal ended it or it had to be killed.
  int stop(int signal = SIGINT, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    this->signal(signal);
    if (!wait_for_exit(limit)) {
      ::kill(_pid, SIGKILL);
      ::waitpid(_pid, nullptr, 0);
      _exited = true;
      return -1;
    }
    return exit_code();
  }

  // The exit code once the program ended normally, else -1.
  int exit_code() const { return _exited && WIFEXITED(_status) ? WEXITSTATUS(_status) : -1; }
  bool killed_by(int signal) const { return _exited && WIFSIGNALED(_status) && WTERMSIG(_status) == signal; }

  // Everything written so far on standard output (and standard error when
  // both go to one log file).
  std::string output() const { return read(_out_file); }
  // Everything written so far on standard error, when it has a file of its own.
  std::string errors() const { return _err_file.empty() ? std::string() : read(_err_file); }

  // Waits up to `limit` until the output contains `text`; false as soon as
  // the program ended without writing it.
  bool wait_for_output(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (output().find(text) == std::string::npos) {
      if (!running()) {
        return output().find(text) != std::string::npos;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

private:
  // Everything is made before the spawn: the child only redirects and executes.
  void start(const std::vector<std::string>& argv, const Environment& env) {
    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::string name = text.substr(0, text.find('='));
      if (env.count(name) == 0 && name != "ORVO_CONFIG") {
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
    const int flags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, _out_file.c_str(), flags, 0644);
    if (_err_file.empty()) {
      posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, _err_file.c_str(), flags, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
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

  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::unique_ptr<TempDir> _dir;
  std::string _out_file;
  std::string _err_file;
  pid_t _pid = -1;
  bool _exited = false;
  int _status = 0;
};

}  // namespace OrvoTest
