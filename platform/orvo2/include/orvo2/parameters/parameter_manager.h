#pragma once
// The process-wide registry of typed parameters, reached through
// Orvo::Context().paramManager(). Names are full names here (no resolution);
// Task's forms resolve them first. A name keeps the type it was created
// with: a request with another type is refused with a journal entry, never
// converted. Nothing is ever removed.
//
// The template members are defined in framework/typed/parameter.h; include that
// header to use them.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "framework/primitives/multireader_mutex.h"
#include "orvo2/parameters/parameter_base.h"

namespace Orvo {

template <typename T>
class Parameter;

// Thrown by getParamOrThrow when the name is absent, of another type or unset.
class ParameterUndefined : public std::runtime_error {
public:
  ParameterUndefined(const std::string& name, const std::string& type_name);
};

class ParameterManager {
public:
  ParameterManager() = default;
  ParameterManager(const ParameterManager&) = delete;
  ParameterManager& operator=(const ParameterManager&) = delete;

  // Any thread. Registry lock shared: real-time safe while nobody creates a
  // parameter; never allocates unless the type clashes (journal entry).
  template <typename T>
  std::shared_ptr<Parameter<T>> findParam(const std::string& name) const;

  // Any thread. Copies the value out under the parameter's shared lock;
  // allocates only if copying T does. Throws ParameterUndefined.
  template <typename T>
  T getParamOrThrow(const std::string& name) const;
  template <typename T>
  T getParamOr(const std::string& name, const T& fallback) const;

  // Any thread. Registry lock shared; allocates. The type name of the
  // parameter `name` (as getTypeName gives it), empty when there is none.
  std::string type_name_of(const std::string& name) const;

  // Set-up. Registry writer lock; creates an unset parameter when absent
  // (allocates, journal entry). Null when the name holds another type.
  template <typename T>
  std::shared_ptr<Parameter<T>> getParamHandle(const std::string& name);

  // Set-up. getParamHandle, then writes under the parameter's writer lock.
  template <typename T>
  bool setParam(const std::string& name, const T& value);

  // Set-up. Registry writer lock; false, constructing nothing, when the name
  // exists whatever its type; otherwise creates the parameter set to T(args...).
  template <typename T, typename... Args>
  bool emplaceParam(const std::string& name, Args&&... args);

private:
  void report_type_mismatch(const std::string& name, const std::string& requested,
                            const ParameterBase& actual) const;
  void report_created(const ParameterBase& param) const;

  mutable multireader_mutex _lock;
  std::map<std::string, std::shared_ptr<ParameterBase>> _params;
};

}  // namespace Orvo
