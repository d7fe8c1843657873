#pragma once
// One non-fixed joint of the robot model: its URDF name, the id of its joint
// device, and its URDF limits. Immutable once the model is built; safe to
// read from any thread, never allocates.

#include <limits>
#include <string>

namespace Orvo {

// A bound the URDF does not give is infinite (lower: -inf, the others: +inf).
struct JointLimits {
  double lower = -std::numeric_limits<double>::infinity();
  double upper = std::numeric_limits<double>::infinity();
  double velocity = std::numeric_limits<double>::infinity();
  double effort = std::numeric_limits<double>::infinity();
};

class Joint {
public:
  // The id of a joint that no configured joint device drives.
  static constexpr int NoDevice = -1;

  Joint(std::string name, int id, const JointLimits& limits)
      : _name(std::move(name)), _id(id), _limits(limits) {}

  const std::string& getJointName() const { return _name; }
  // The id of the joint's device (NoDevice when none is configured).
  int getJointId() const { return _id; }
  const JointLimits& getJointLimits() const { return _limits; }

private:
  std::string _name;
  int _id;
  JointLimits _limits;
};

}  // namespace Orvo
