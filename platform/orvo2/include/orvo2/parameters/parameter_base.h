#pragma once
// Untyped side of a framework parameter: its full name and the identity of
// the value type it was created with. The typed value lives in
// Orvo::Parameter<T> (framework/typed/parameter.h).

#include <ostream>
#include <string>
#include <typeinfo>

namespace Orvo {

class ParameterBase {
public:
  // Set-up (the registry creates parameters); allocates.
  ParameterBase(std::string name, const std::type_info& type);
  ParameterBase(const ParameterBase&) = delete;
  ParameterBase& operator=(const ParameterBase&) = delete;

  // Any thread; writes the value (nothing for a type without stream output).
  virtual std::ostream& print(std::ostream& os) const = 0;
  virtual ~ParameterBase();

  // Any thread; never blocks, never allocates.
  const std::string& getName() const { return _name; }
  const std::type_info& getType() const { return *_type; }
  // Any thread; allocates: the readable name of the value type.
  std::string getTypeName() const;

private:
  std::string _name;
  const std::type_info* _type;
};

}  // namespace Orvo
