#pragma once
// orvocore started as a child process for a test: its standard output and
// error go to files in the test's folder; every wait is bounded; a child
// still running at the end is killed by its process id.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "temp_dir.h"

namespace OrvoTest {

class LauncherProcess {
public:
  // Environment entries are set in the child; ORVO_CONFIG is removed unless given.
  LauncherProcess(const TempDir& dir, std::vector<std::string> args,
                  std::vector<std::pair<std::string, std::string>> env = {})
      : _out(dir.path() + "/out_" + std::to_string(counter())), _err(_out + ".err") {
    // Everything the child needs is made before the fork: the child only
    // redirects and executes.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::string(*entry).rfind("ORVO_CONFIG=", 0) != 0) {
        environment.emplace_back(*entry);
      }
    }
    for (const auto& entry : env) {
      environment.push_back(entry.first + "=" + entry.second);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
      envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(ORVOCORE_PATH)};
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    _pid = ::fork();
    if (_pid == 0) {
      const int out = ::open(_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      ::execve(ORVOCORE_PATH, argv.data(), envp.data());
      ::_exit(127);
    }
  }

  ~LauncherProcess() {
    if (_pid > 0 && !_exited) {
      ::kill(_pid, SIGKILL);
      ::waitpid(_pid, nullptr, 0);
    }
  }
  LauncherProcess(const LauncherProcess&) = delete;
  LauncherProcess& operator=(const LauncherProcess&) = delete;

  void interrupt() const { ::kill(_pid, SIGINT); }

  // True once the child ended within `limit`; its wait status is kept.
  bool wait_exit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!_exited) {
      if (::waitpid(_pid, &_status, WNOHANG) == _pid) {
        _exited = true;
      } else if (std::chrono::steady_clock::now() > deadline) {
        return false;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    return true;
  }

  bool exited_with(int code) const { return _exited && WIFEXITED(_status) && WEXITSTATUS(_status) == code; }
  bool killed_by(int signal) const { return _exited && WIFSIGNALED(_status) && WTERMSIG(_status) == signal; }

  // True once standard output holds `text`, within `limit`.
  bool wait_output(const std::string& text, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (output().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  std::string output() const { return read(_out); }
  std::string errors() const { return read(_err); }

private:
  static int counter() {
    static int next = 0;
    return next++;
  }
  static std::string read(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string _out;
  std::string _err;
  pid_t _pid = -1;
  int _status = 0;
  bool _exited = false;
};

// A robot of two dummy joints, copied with the example URDF into `dir`
// (or its `folder`), with `threads` as the configuration's "threads" section
// and `devices` as its "devices" section.
inline std::string write_dummy_config(const TempDir& dir, const std::string& threads, const std::string& folder = "",
                                      const std::string& devices = "") {
  std::ifstream urdf(std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/dummy_arm.urdf");
  std::stringstream urdf_text;
  urdf_text << urdf.rdbuf();
  const std::string prefix = folder.empty() ? "" : folder + "/";
  dir.write(prefix + "dummy_arm.urdf", urdf_text.str());
  return dir.write(prefix + "config.yaml",
                   "robot:\n"
                   "  urdf: dummy_arm.urdf\n"
                   "joints:\n"
                   "  joint_dummy:\n"
                   "    - {name: shoulder_yaw, id: 1}\n"
                   "    - {name: shoulder_pitch, id: 2}\n" +
                       (devices.empty() ? "" : "devices:\n" + devices) + "threads:\n" + threads);
}

}  // namespace OrvoTest
