#include "gazebo/common/Console.hh"

#include <iostream>

namespace gazebo {
namespace common {

Logger::Logger(const char* prefix, std::ostream* target) : std::ostream(nullptr), prefix_(prefix) {
  forward_.target = target;
  rdbuf(&forward_);
}

Logger& Logger::operator()() {
  *this << prefix_;
  return *this;
}

Logger& Logger::operator()(const std::string& file, int line) {
  const std::string::size_type slash = file.rfind('/');
  *this << prefix_ << '[' << (slash == std::string::npos ? file : file.substr(slash + 1)) << ':'
        << line << "] ";
  return *this;
}

void Logger::SetTarget(std::ostream* target) {
  forward_.target = target;
}

Logger::Forward::int_type Logger::Forward::overflow(int_type c) {
  if (target != nullptr && !traits_type::eq_int_type(c, traits_type::eof()))
    target->rdbuf()->sputc(traits_type::to_char_type(c));
  return traits_type::not_eof(c);
}

std::streamsize Logger::Forward::xsputn(const char* s, std::streamsize n) {
  if (target != nullptr) target->rdbuf()->sputn(s, n);
  return n;
}

int Logger::Forward::sync() {
  if (target != nullptr) target->flush();
  return 0;
}

Logger Console::msg("[Msg] ", &std::cout);
Logger Console::warn("[Wrn] ", &std::cerr);
Logger Console::err("[Err] ", &std::cerr);
Logger Console::dbg("[Dbg] ", nullptr);
Logger Console::log("[Log] ", &std::cout);

void Console::SetQuiet(bool quiet) {
  msg.SetTarget(quiet ? nullptr : &std::cout);
  log.SetTarget(quiet ? nullptr : &std::cout);
  dbg.SetTarget(nullptr);
}

}  // namespace common
}  // namespace gazebo
