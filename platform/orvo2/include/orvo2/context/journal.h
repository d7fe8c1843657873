#pragma once
// The journal: one line per entry on standard output, "[<journal>][<type>] <text>".
// Entries carry a type (2 information, 3 success, 4 warning, 5 error) and an
// importance chosen with jlow(), jmid() or jhigh(). An entry prints when its
// importance reaches the global level, or always when it is a warning or an
// error. Formatting happens in a thread-local buffer: logging never allocates
// and never throws (a bad format string is printed as it stands). Only the
// process's main thread writes to standard output itself; the lines of every
// other thread are queued (1024 at most, the rest dropped and counted) for a
// writer thread of the journal, so that logging never blocks them.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace Orvo {

class Journal {
public:
  enum LogType : int { Info = 2, Ok = 3, Warning = 4, Error = 5 };
  enum Importance : int { Low = 0, Mid = 1, High = 2 };

  explicit Journal(std::string name);
  Journal(const Journal& other);
  Journal& operator=(const Journal& other);
  virtual ~Journal();

  // The journal given entries of low, medium or high importance.
  Journal& jlow();
  Journal& jmid();
  Journal& jhigh();

  // Any thread; never throws, never allocates; blocks (on standard output)
  // only in the process's main thread.
  template <typename... Args>
  void vlog(int type, fmt::string_view format, const Args&... args) noexcept {
    write_formatted(type, format, fmt::make_format_args(args...));
  }
  template <typename... Args>
  void jok(fmt::string_view format, const Args&... args) noexcept { vlog(Ok, format, args...); }
  template <typename... Args>
  void jwarn(fmt::string_view format, const Args&... args) noexcept { vlog(Warning, format, args...); }
  template <typename... Args>
  void jinfo(fmt::string_view format, const Args&... args) noexcept { vlog(Info, format, args...); }
  template <typename... Args>
  void jerror(fmt::string_view format, const Args&... args) noexcept { vlog(Error, format, args...); }

  const std::string& getJournalName() const { return _name; }
  int importance() const { return _importance; }

  // Level 0 prints everything; level 2 only high-importance entries, warnings and errors.
  static void SetGlobalJournalLevel(int level);
  static int GetGlobalJournalLevel();

  // Any thread but a real-time one; blocks until every line queued before
  // the call is written to standard output (starting the journal's writer
  // thread first if none runs yet). Runs at the process's exit too.
  static void flush();

private:
  Journal(std::string name, Importance importance, Journal* parent);
  void make_channels();
  void write_formatted(int type, fmt::string_view format, fmt::format_args args) noexcept;

  std::string _name;
  Importance _importance = High;
  Journal* _parent = nullptr;
  std::array<std::unique_ptr<Journal>, 3> _channels;
};

// Collects every journal entry of the process while it exists, whatever the
// level; for tests. Entries are recorded under a lock and allocate.
struct JournalEntry {
  std::string journal;
  int type;
  int importance;
  std::string text;
};

class JournalCapture {
public:
  JournalCapture();
  ~JournalCapture();
  JournalCapture(const JournalCapture&) = delete;
  JournalCapture& operator=(const JournalCapture&) = delete;

  std::vector<JournalEntry> entries() const;
  // Number of entries whose text equals `text`.
  int count(const std::string& text) const;
  // True when some entry's text contains `part`.
  bool contains(const std::string& part) const;
  void clear();
};

}  // namespace Orvo
