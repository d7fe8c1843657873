#pragma once
// Typed framework parameters: Orvo::Parameter<T>, the template members of
// Orvo::ParameterManager and the parameter members of Orvo::Task.
//
// Lock discipline: lookups hold the registry lock shared, creation holds it
// as writer; a value is read under the parameter's own lock held shared and
// written under it held as writer. The registry lock is never held while a
// parameter's lock is taken.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <shared_mutex>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "framework/primitives/has_stream_output.h"
#include "framework/primitives/multireader_mutex.h"
#include "orvo2/context/context.h"
#include "orvo2/parameters/parameter_base.h"
#include "orvo2/parameters/parameter_manager.h"
#include "orvo2/tasks/task.h"
#include "orvo2/type_names/demangle.h"

namespace Orvo {

// Selects the constructor that builds the value in place.
struct inplace_tag_t {
  explicit inplace_tag_t() = default;
};
inline constexpr inplace_tag_t inplace_tag{};

namespace internal {

// Stream output when T has one, nothing otherwise.
template <typename T>
void print_value(std::ostream& os, const T& value) {
  if constexpr (has_stream_output<T>::value) {
    os << value;
  }
}

inline void print_value(std::ostream& os, const std::chrono::nanoseconds& value) {
  os << value.count() << "ns";
}

}  // namespace internal

template <typename T>
class Parameter : public ParameterBase {
public:
  using Printer = std::function<void(std::ostream&, const T&)>;

  ~Parameter() override = default;

  // Any thread; shared lock (real-time safe while no writer). Prints the
  // value whether or not it was set.
  std::ostream& print(std::ostream& os) const override {
    std::shared_lock<multireader_mutex> guard(_lock);
    _printer(os, _value);
    return os;
  }

  // Any thread; shared lock. Copies the value into `out` when it was set
  // (allocates only if copying T does); false and `out` untouched otherwise.
  bool get(T& out) const {
    std::shared_lock<multireader_mutex> guard(_lock);
    if (!_set) {
      return false;
    }
    out = _value;
    return true;
  }

  // Any thread; shared lock.
  bool isSet() const {
    std::shared_lock<multireader_mutex> guard(_lock);
    return _set;
  }

  // Set-up (launcher, setParam). Writer lock: spins while readers copy.
  // Stores the value and marks the parameter set.
  void set(const T& value) {
    std::lock_guard<multireader_mutex> guard(_lock);
    _value = value;
    _set = true;
  }

protected:
  // Only the registry constructs parameters (through a derived enabler).
  template <typename... Args>
  Parameter(inplace_tag_t, std::string name, Args&&... args)
      : ParameterBase(std::move(name), typeid(T)),
        _value(std::forward<Args>(args)...),
        _printer([](std::ostream& os, const T& value) { internal::print_value(os, value); }) {}

private:
  friend class ParameterManager;

  mutable multireader_mutex _lock;
  bool _set = false;
  T _value;
  Printer _printer;
};

template <typename T>
std::shared_ptr<Parameter<T>> ParameterManager::findParam(const std::string& name) const {
  std::shared_ptr<ParameterBase> stored;
  {
    std::shared_lock<multireader_mutex> guard(_lock);
    const auto it = _params.find(name);
    if (it == _params.end()) {
      return nullptr;
    }
    if (auto typed = std::dynamic_pointer_cast<Parameter<T>>(it->second)) {
      return typed;
    }
    stored = it->second;
  }
  report_type_mismatch(name, demangle<T>(), *stored);
  return nullptr;
}

template <typename T>
T ParameterManager::getParamOrThrow(const std::string& name) const {
  if (const auto param = findParam<T>(name)) {
    std::shared_lock<multireader_mutex> guard(param->_lock);
    if (param->_set) {
      return param->_value;
    }
  }
  throw ParameterUndefined(name, demangle<T>());
}

template <typename T>
T ParameterManager::getParamOr(const std::string& name, const T& fallback) const {
  if (const auto param = findParam<T>(name)) {
    std::shared_lock<multireader_mutex> guard(param->_lock);
    if (param->_set) {
      return param->_value;
    }
  }
  return fallback;
}

template <typename T>
std::shared_ptr<Parameter<T>> ParameterManager::getParamHandle(const std::string& name) {
  struct make_shared_enabler : Parameter<T> {
    explicit make_shared_enabler(std::string param_name)
        : Parameter<T>(inplace_tag, std::move(param_name)) {}
  };

  std::lock_guard<multireader_mutex> guard(_lock);
  const auto it = _params.find(name);
  if (it != _params.end()) {
    auto typed = std::dynamic_pointer_cast<Parameter<T>>(it->second);
    if (!typed) {
      report_type_mismatch(name, demangle<T>(), *it->second);
    }
    return typed;
  }
  std::shared_ptr<Parameter<T>> param = std::make_shared<make_shared_enabler>(name);
  report_created(*param);
  _params.emplace(name, param);
  return param;
}

template <typename T>
bool ParameterManager::setParam(const std::string& name, const T& value) {
  const auto param = getParamHandle<T>(name);
  if (!param) {
    return false;
  }
  param->set(value);
  return true;
}

template <typename T, typename... Args>
bool ParameterManager::emplaceParam(const std::string& name, Args&&... args) {
  struct make_shared_enabler : Parameter<T> {
    explicit make_shared_enabler(std::string param_name, Args&&... value_args)
        : Parameter<T>(inplace_tag, std::move(param_name), std::forward<Args>(value_args)...) {}
  };

  std::lock_guard<multireader_mutex> guard(_lock);
  if (_params.find(name) != _params.end()) {
    return false;
  }
  std::shared_ptr<Parameter<T>> param =
      std::make_shared<make_shared_enabler>(name, std::forward<Args>(args)...);
  param->_set = true;
  report_created(*param);
  _params.emplace(name, std::move(param));
  return true;
}

template <typename T>
bool Task::getParam(const std::string& name, T& out) const {
  const ParameterManager& params = Context().paramManager();
  const auto param = params.findParam<T>(resolveName(name));
  return param && param->get(out);
}

template <typename T>
T Task::getParamOr(const std::string& name, const T& fallback) const {
  const ParameterManager& params = Context().paramManager();
  return params.getParamOr<T>(resolveName(name), fallback);
}

template <typename T>
T Task::getParamOrThrow(const std::string& name) const {
  const ParameterManager& params = Context().paramManager();
  return params.getParamOrThrow<T>(resolveName(name));
}

template <typename T, typename... Args>
bool Task::emplaceParam(const std::string& name, Args&&... args) {
  ParameterManager& params = Context().paramManager();
  return params.emplaceParam<T>(resolveName(name), std::forward<Args>(args)...);
}

}  // namespace Orvo
