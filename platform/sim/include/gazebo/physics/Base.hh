#pragma once
// Common base of the world's objects: a name, a scoped name and a set of type flags.

#include <string>

namespace gazebo {
namespace physics {

class Base {
public:
  // Type flags; an object carries every flag of its kind (a hinge joint is a
  // JOINT and a HINGE_JOINT).
  enum EntityType : unsigned int {
    BASE = 0x0,
    ENTITY = 0x1,
    MODEL = 0x2,
    LINK = 0x4,
    JOINT = 0x8,
    HINGE_JOINT = 0x10,
    SLIDER_JOINT = 0x20,
    FIXED_JOINT = 0x40,
  };

  Base(std::string name, std::string scoped_name, unsigned int type)
      : name_(std::move(name)), scoped_name_(std::move(scoped_name)), type_(type) {}
  Base(const Base&) = delete;
  Base& operator=(const Base&) = delete;
  virtual ~Base() = default;

  // Any thread; the object's own name.
  std::string GetName() const { return name_; }
  // Any thread; "model::object" (a model's scoped name is its name).
  std::string GetScopedName() const { return scoped_name_; }
  // Any thread; true when the object carries every flag of t.
  bool HasType(EntityType t) const { return (type_ & t) == t; }
  // Any thread; all flags.
  unsigned int GetType() const { return type_; }

private:
  std::string name_;
  std::string scoped_name_;
  unsigned int type_;
};

}  // namespace physics
}  // namespace gazebo
