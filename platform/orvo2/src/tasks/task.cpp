#include "orvo2/tasks/task.h"

#include <stdexcept>

#include "orvo2/tasks/callback_queue.h"

namespace Orvo {
namespace {

std::string strip_slashes(const std::string& text) {
  const auto first = text.find_first_not_of('/');
  if (first == std::string::npos) {
    return {};
  }
  const auto last = text.find_last_not_of('/');
  return text.substr(first, last - first + 1);
}

const char* const internal_namespace = "orvo_internal";

}  // namespace

Task::Task(std::string name, std::string type, std::map<std::string, std::string> remappings,
           bool privileged)
    : _name(std::move(name)),
      _type(std::move(type)),
      _remappings(std::move(remappings)),
      _privileged(privileged),
      _queue(std::make_unique<CallbackQueue>()) {}

Task::~Task() = default;

void Task::setNamespace(const std::string& ns) {
  const std::string stripped = strip_slashes(ns);
  const bool internal = stripped == internal_namespace ||
                        stripped.rfind(std::string(internal_namespace) + "/", 0) == 0;
  if (internal && !_privileged) {
    throw std::runtime_error("task '" + _name + "' is not privileged to use namespace '" + ns + "'");
  }
  _namespace = stripped;
}

std::string Task::resolveName(const std::string& written) const {
  const auto remapped = _remappings.find(written);
  const std::string& name = remapped == _remappings.end() ? written : remapped->second;

  if (!name.empty() && name[0] == '/') {
    return name;
  }
  const std::string base = _namespace.empty() ? std::string() : "/" + _namespace;
  if (!name.empty() && name[0] == '~') {
    return base + "/" + _name + "/" + strip_slashes(name.substr(1));
  }
  return base + "/" + name;
}

}  // namespace Orvo
