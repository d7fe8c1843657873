#pragma once
// A program (orvosim, orvocore) as a child process of a test, its output in
// files. Stopped by its process id; at the end it is killed if still running
// and reaped.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace gz_test {

class ProgramProcess {
public:
  ProgramProcess(const std::string& program, const std::vector<std::string>& args) {
    static int counter = 0;
    const std::string stem = "/tmp/orvo2_gz_program_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    _out_path = stem + "_out.txt";
    _err_path = stem + "_err.txt";
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, _out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, _err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) _pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ProgramProcess() {
    kill_now();
    std::remove(_out_path.c_str());
    std::remove(_err_path.c_str());
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  bool started() const { return _pid > 0; }
  bool running() const { return _pid > 0 && !_exited; }
  // Kills and reaps the process.
  void kill_now() {
    if (!running()) return;
    ::kill(_pid, SIGKILL);
    ::waitpid(_pid, &_status, 0);
    _exited = true;
  }
  void signal(int sig) { ::kill(_pid, sig); }
  // Waits at most `timeout` for the process to end; true when it ended.
  bool wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (running()) {
      if (::waitpid(_pid, &_status, WNOHANG) == _pid) {
        _exited = true;
        break;
      }
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  // Waits at most `timeout` for `text` on the standard output.
  bool wait_for_output(const std::string& text, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (out().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end || !running()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  bool killed_by(int sig) const { return _exited && WIFSIGNALED(_status) && WTERMSIG(_status) == sig; }
  int exit_code() const { return _exited && WIFEXITED(_status) ? WEXITSTATUS(_status) : -1; }
  std::string out() const { return read(_out_path); }
  std::string err() const { return read(_err_path); }

private:
  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string _out_path;
  std::string _err_path;
  pid_t _pid = -1;
  int _status = 0;
  bool _exited = false;
};

}  // namespace gz_test
