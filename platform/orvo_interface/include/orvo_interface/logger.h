#pragma once
// Console logger for set-up and tools: entries go to standard output, one
// line each, when their severity reaches the verbosity level (see
// SetVerbosityLevel for the verbose and the quiet ends of the scale).
//   Logger::info(Logger::Low) << "joints: " << n << Logger::endl;
// Not for control cycles: building an entry allocates, printing takes a lock.

#include <sstream>
#include <string>

namespace Orvo {

class Logger {
public:
  // Common severities; any int works, higher is more important.
  enum Severity : int { Debug = -1, Low = 0, Mid = 1, High = 2, Fatal = 3 };

  // Ends an entry: `stream << Logger::endl` prints it.
  struct Endl {};
  static constexpr Endl endl{};

  // One entry being written. Text given after `endl` starts a new entry; an
  // entry left without `endl` prints when the stream is destroyed.
  class Stream {
  public:
    explicit Stream(bool enabled) : _enabled(enabled) {}
    Stream(Stream&& other) noexcept;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream();

    template <typename T>
    Stream& operator<<(const T& value) {
      if (_enabled) {
        _text << value;
        _pending = true;
      }
      return *this;
    }
    Stream& operator<<(Endl);

  private:
    void print();

    bool _enabled;
    bool _pending = false;
    std::ostringstream _text;
  };

  // Any thread. Entries print when their severity is >= `severity`; at Low
  // or below every information entry prints (Debug too), and below Fatal
  // every warning from Mid up.
  static void SetVerbosityLevel(int severity);
  static int GetVerbosityLevel();

  // Any thread; allocates. Streams for information and for warnings.
  static Stream info(int severity = Mid);
  static Stream warning(int severity = High);
};

}  // namespace Orvo
