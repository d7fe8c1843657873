#pragma once
// What consumers see of a joint device: its sensed state and its command
// references. Setters mark the field in the command's mask.

#include "devices/joint_records.h"
#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class JointBase : public virtual DeviceBase {
public:
  ~JointBase() override = default;

  // Control-cycle thread, owner of the device: never block or allocate.
  virtual double get_link_pos() const = 0;
  virtual double get_motor_pos() const = 0;
  virtual double get_link_vel() const = 0;
  virtual double get_motor_vel() const = 0;
  virtual double get_tor() const = 0;
  virtual double get_stiffness() const = 0;
  virtual double get_damping() const = 0;
  virtual double get_temp() const = 0;
  virtual double get_pos_ref() const = 0;
  virtual double get_vel_ref() const = 0;
  virtual double get_tor_ref() const = 0;
  virtual double get_stiffness_ref() const = 0;
  virtual double get_damping_ref() const = 0;
  virtual void set_pos_ref(double value) = 0;
  virtual void set_vel_ref(double value) = 0;
  virtual void set_tor_ref(double value) = 0;
  virtual void set_stiffness_ref(double value) = 0;
  virtual void set_damping_ref(double value) = 0;

  // The whole records.
  virtual const joint_rx& get_rx() const = 0;
  virtual const joint_tx& get_tx() const = 0;
  virtual void set_tx(const joint_tx& tx) = 0;
};

}  // namespace Hal
}  // namespace Orvo
