#include "orvo2/context/journal.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "context/journal_output.h"

namespace Orvo {
namespace {

std::atomic<int> g_level{0};

struct CaptureState {
  std::mutex lock;
  std::vector<JournalEntry> entries;
};
std::atomic<CaptureState*> g_capture{nullptr};

const char* type_marker(int type) {
  switch (type) {
    case Journal::Info: return "info";
    case Journal::Ok: return " ok ";
    case Journal::Warning: return "warn";
    case Journal::Error: return "err ";
    default: return " ?  ";
  }
}

}  // namespace

Journal::Journal(std::string name) : _name(std::move(name)) {
  JournalOutput::instance().start();
  make_channels();
}

Journal::Journal(std::string name, Importance importance, Journal* parent)
    : _name(std::move(name)), _importance(importance), _parent(parent) {}

Journal::Journal(const Journal& other) : _name(other._name) {
  JournalOutput::instance().start();
  make_channels();
}

Journal& Journal::operator=(const Journal& other) {
  if (this != &other) {
    _name = other._name;
    for (auto& channel : _channels) {
      if (channel) {
        channel->_name = _name;
      }
    }
  }
  return *this;
}

Journal::~Journal() = default;

void Journal::make_channels() {
  _channels[Low].reset(new Journal(_name, Low, this));
  _channels[Mid].reset(new Journal(_name, Mid, this));
  _channels[High].reset(new Journal(_name, High, this));
}

Journal& Journal::jlow() { return _parent ? _parent->jlow() : *_channels[Low]; }
Journal& Journal::jmid() { return _parent ? _parent->jmid() : *_channels[Mid]; }
Journal& Journal::jhigh() { return _parent ? _parent->jhigh() : *_channels[High]; }

void Journal::SetGlobalJournalLevel(int level) { g_level.store(level); }
int Journal::GetGlobalJournalLevel() { return g_level.load(); }

void Journal::flush() {
  JournalOutput& output = JournalOutput::instance();
  output.start();
  output.flush();
}

void Journal::write_formatted(int type, fmt::string_view format, fmt::format_args args) noexcept {
  thread_local char buffer[2048];
  constexpr size_t capacity = sizeof(buffer) - 2;  // room for a newline and a NUL

  size_t length = 0;
  const auto prefix =
      fmt::format_to_n(buffer, capacity, "[{}][{}] ", fmt::string_view(_name), type_marker(type));
  length = std::min(prefix.size, capacity);
  const size_t text_start = length;
  try {
    const auto body = fmt::vformat_to_n(buffer + length, capacity - length, format, args);
    length += std::min(body.size, capacity - length);
  } catch (...) {
    const size_t n = std::min(format.size(), capacity - length);
    std::memcpy(buffer + length, format.data(), n);
    length += n;
  }
  const size_t text_end = length;
  if (length == text_start || buffer[length - 1] != '\n') {
    buffer[length++] = '\n';
  }

  if (CaptureState* capture = g_capture.load()) {
    try {
      std::lock_guard<std::mutex> guard(capture->lock);
      capture->entries.push_back(
          {_name, type, _importance, std::string(buffer + text_start, text_end - text_start)});
    } catch (...) {
    }
  }

  if (_importance >= g_level.load() || type >= Warning) {
    JournalOutput::instance().write(buffer, length);
  }
}

JournalCapture::JournalCapture() {
  CaptureState* fresh = new CaptureState;
  CaptureState* expected = nullptr;
  if (!g_capture.compare_exchange_strong(expected, fresh)) {
    delete fresh;
    throw std::logic_error("JournalCapture: a capture is already active");
  }
}

JournalCapture::~JournalCapture() {
  // Entries written concurrently with the destruction may still hold the state:
  // leak it rather than risk a use after free in another thread.
  g_capture.store(nullptr);
}

std::vector<JournalEntry> JournalCapture::entries() const {
  CaptureState* capture = g_capture.load();
  if (capture == nullptr) {
    return {};
  }
  std::lock_guard<std::mutex> guard(capture->lock);
  return capture->entries;
}

int JournalCapture::count(const std::string& text) const {
  int n = 0;
  for (const auto& e : entries()) {
    n += (e.text == text) ? 1 : 0;
  }
  return n;
}

bool JournalCapture::contains(const std::string& part) const {
  for (const auto& e : entries()) {
    if (e.text.find(part) != std::string::npos) {
      return true;
    }
  }
  return false;
}

void JournalCapture::clear() {
  if (CaptureState* capture = g_capture.load()) {
    std::lock_guard<std::mutex> guard(capture->lock);
    capture->entries.clear();
  }
}

}  // namespace Orvo
