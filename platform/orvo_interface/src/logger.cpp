#include "orvo_interface/logger.h"

#include <atomic>
#include <iostream>
#include <mutex>

namespace Orvo {
namespace {

std::atomic<int> g_verbosity{Logger::Mid};
std::mutex g_print_lock;

}  // namespace

Logger::Stream::Stream(Stream&& other) noexcept
    : _enabled(other._enabled), _pending(other._pending), _text(std::move(other._text)) {
  other._pending = false;
}

Logger::Stream::~Stream() {
  if (_pending) {
    try {
      print();
    } catch (...) {
      // A destructor must not throw; the entry is lost.
    }
  }
}

Logger::Stream& Logger::Stream::operator<<(Endl) {
  if (_enabled) {
    print();
  }
  return *this;
}

void Logger::Stream::print() {
  {
    std::lock_guard<std::mutex> guard(g_print_lock);
    std::cout << _text.str() << std::endl;
  }
  _text.str(std::string());
  _pending = false;
}

void Logger::SetVerbosityLevel(int severity) { g_verbosity.store(severity); }

int Logger::GetVerbosityLevel() { return g_verbosity.load(); }

// The verbosity Low or below is the verbose setting: every information
// entry prints, debug ones included.
Logger::Stream Logger::info(int severity) {
  const int verbosity = g_verbosity.load();
  return Stream(severity >= verbosity || verbosity <= Low);
}

// Warnings from Mid up print at every verbosity below Fatal.
Logger::Stream Logger::warning(int severity) {
  const int verbosity = g_verbosity.load();
  return Stream(severity >= verbosity || (severity >= Mid && verbosity < Fatal));
}

}  // namespace Orvo
