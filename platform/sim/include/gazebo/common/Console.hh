#pragma once
// Console streams of the simulator: gzmsg, gzwarn, gzerr, gzdbg and gzlog.
// Each stream is a std::ostream that forwards what it is given, unbuffered, to
// a target stream; a target of null discards. Defaults: msg and log to standard
// output, warn and err to standard error, dbg discarded.

#include <ostream>
#include <streambuf>
#include <string>

namespace gazebo {
namespace common {

class Logger : public std::ostream {
public:
  // prefix: written before each message, e.g. "[Err] ".
  Logger(const char* prefix, std::ostream* target);
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Any thread; starts a message with the stream's prefix. Not real-time safe.
  Logger& operator()();
  // Any thread; starts a message with the prefix and "[file:line] ".
  Logger& operator()(const std::string& file, int line);
  // Set-up only: sends the stream to target (null discards).
  void SetTarget(std::ostream* target);

private:
  class Forward : public std::streambuf {
  public:
    std::ostream* target = nullptr;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;
  };

  Forward forward_;
  const char* prefix_;
};

class Console {
public:
  static Logger msg;
  static Logger warn;
  static Logger err;
  static Logger dbg;
  static Logger log;

  // Set-up only: quiet silences msg, log and dbg; warn and err stay.
  static void SetQuiet(bool quiet);
};

}  // namespace common
}  // namespace gazebo

#define gzmsg (gazebo::common::Console::msg())
#define gzlog (gazebo::common::Console::log())
#define gzdbg (gazebo::common::Console::dbg(__FILE__, __LINE__))
#define gzwarn (gazebo::common::Console::warn(__FILE__, __LINE__))
#define gzerr (gazebo::common::Console::err(__FILE__, __LINE__))
