#include "orvo2/parameters/parameter_manager.h"

#include <mutex>
#include <shared_mutex>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/type_names/demangle.h"

namespace Orvo {

ParameterBase::ParameterBase(std::string name, const std::type_info& type)
    : _name(std::move(name)), _type(&type) {}

ParameterBase::~ParameterBase() = default;

std::string ParameterBase::getTypeName() const { return demangle(*_type); }

ParameterUndefined::ParameterUndefined(const std::string& name, const std::string& type_name)
    : std::runtime_error("parameter '" + name + "' of type '" + type_name + "' is not defined") {}

void ParameterManager::report_type_mismatch(const std::string& name, const std::string& requested,
                                            const ParameterBase& actual) const {
  Context().journal().jhigh().vlog(Journal::Error,
                                   "parameter type mismatch for '{}': requested '{}', actual '{}' \n",
                                   name, requested, actual.getTypeName());
}

std::string ParameterManager::type_name_of(const std::string& name) const {
  std::shared_lock<multireader_mutex> guard(_lock);
  const auto it = _params.find(name);
  return it == _params.end() ? std::string() : it->second->getTypeName();
}

void ParameterManager::report_created(const ParameterBase& param) const {
  Context().journal().jmid().vlog(Journal::Info, "parameter '{}' with type '{}' was created \n",
                                  param.getName(), param.getTypeName());
}

// Never destroyed: see context.cpp.
ParameterManager& Context::paramManager() const {
  static ParameterManager* registry = new ParameterManager;
  return *registry;
}

}  // namespace Orvo
