#pragma once
// A robot: its model plus a back end that reads and commands the joints.
// Back ends live in libraries named libRobotInterface<framework>.so that
// export
//   extern "C" Orvo::RobotInterface* create_instance();
//   extern "C" void destroy_instance(Orvo::RobotInterface*);
// MakeInstance loads the one the options' "framework" parameter names. The
// joint devices belong to the back end; this base keeps the control mode of
// every joint, which the back end applies in move().

#include <memory>
#include <string>
#include <vector>

#include "orvo_interface/control_mode.h"
#include "orvo_interface/orvo_interface.h"

namespace Orvo {

class RobotInterface : public OrvoInterface {
public:
  using Ptr = std::shared_ptr<RobotInterface>;

  RobotInterface() = default;
  ~RobotInterface() override = default;
  RobotInterface(const RobotInterface&) = delete;
  RobotInterface& operator=(const RobotInterface&) = delete;

  // Set-up only; allocates, loads a library. Makes the back end named by the
  // options' "framework" string parameter, initialises it with the options
  // and registers it under the options' path. The returned pointer gives the
  // object back to its library's destroy_instance. Throws std::runtime_error
  // naming the framework, the library or the entry point that is missing, or
  // the configuration that the back end refused.
  static Ptr MakeInstance(const ConfigOptions& options);

  // Any non-real-time thread; takes the registry lock. Drops the registry's
  // references to every robot made by MakeInstance; a robot is destroyed when
  // its last holder lets go.
  static void clearRobotMap();

  // Set-up only; allocates. Builds the model (OrvoInterface::init), puts every
  // joint in Idle, then lets the back end set itself up (init_robot).
  bool init(const ConfigOptions& options) final;

  // The thread that owns the robot; real-time safe. Every joint of the model.
  bool setControlMode(const ControlMode& mode);
  // The thread that owns the robot; real-time safe. False for an unknown joint.
  bool setControlMode(const std::string& joint_name, const ControlMode& mode);
  // The thread that owns the robot; real-time safe. False for an unknown joint.
  bool getControlMode(const std::string& joint_name, ControlMode& mode) const;
  // One mode per joint, in the order of getJointNames().
  const std::vector<ControlMode>& getControlModes() const { return _modes; }

  // The thread that owns the robot, every cycle: read the joints' state, send
  // the joints' references. Real-time safe in every back end; false on failure.
  virtual bool sense() = 0;
  virtual bool move() = 0;

  const OrvoInterface& model() const { return *this; }

protected:
  // Set-up only: the back end's own set-up, after the model is built.
  virtual bool init_robot(const ConfigOptions& options) = 0;

private:
  std::vector<ControlMode> _modes;
};

}  // namespace Orvo
