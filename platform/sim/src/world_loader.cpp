#include "orvo2/sim/world_loader.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <map>
#include <stdexcept>

#include <boost/make_shared.hpp>
#include <sdf/ForceTorque.hh>
#include <sdf/Joint.hh>
#include <sdf/JointAxis.hh>
#include <sdf/Link.hh>
#include <sdf/Model.hh>
#include <sdf/Physics.hh>
#include <sdf/Root.hh>
#include <sdf/Sensor.hh>
#include <sdf/World.hh>

#include <gazebo/common/Console.hh>
#include <gazebo/physics/physics.hh>
#include <gazebo/sensors/sensors.hh>

namespace Orvo {

namespace {

using gazebo::physics::Base;
using gazebo::physics::JointPtr;
using gazebo::physics::LinkPtr;
using ignition::math::Pose3d;
using ignition::math::Vector3d;

// Lower bounds of a joint's inertia (kg m^2) and mass (kg), so that light links
// stay stable under stiff gains at millisecond steps.
constexpr double kMinJointInertia = 1e-2;
constexpr double kMinJointMass = 1e-2;
constexpr double kDefaultStep = 1e-3;
const Vector3d kDefaultGravity(0, 0, -9.8);

std::string join(const sdf::Errors& errors) {
  std::string text;
  for (const sdf::Error& e : errors) text += (text.empty() ? "" : "; ") + e.Message();
  return text;
}

class ModelBuilder {
public:
  ModelBuilder(const std::string& origin, gazebo::physics::World& world)
      : origin_(origin), world_(world) {}

  gazebo::physics::ModelPtr build(const sdf::Model& desc, const Pose3d& model_pose);

private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("'" + origin_ + "', model '" + model_name_ + "': " + what);
  }
  Pose3d in_model(const sdf::SemanticPose& pose, const std::string& what) const;
  void add_link(const sdf::Link& desc);
  void add_joint(const sdf::Joint& desc);
  void order_joints();
  double joint_inertia(const gazebo::physics::Joint& joint) const;
  void add_sensors();

  std::string origin_;
  gazebo::physics::World& world_;
  gazebo::physics::ModelPtr model_;
  std::string model_name_;
  Pose3d model_pose_;
  const sdf::Model* desc_ = nullptr;
  std::map<std::string, LinkPtr> links_;
  std::map<std::string, Pose3d> link_poses_;  // in the model frame, joints at 0
  std::map<std::string, Pose3d> joint_poses_;
  std::map<std::string, std::string> parent_joint_of_;  // child link name -> joint name
};

Pose3d ModelBuilder::in_model(const sdf::SemanticPose& pose, const std::string& what) const {
  Pose3d resolved;
  const sdf::Errors errors = pose.Resolve(resolved, "__model__");
  if (!errors.empty()) fail("cannot resolve the pose of " + what + ": " + join(errors));
  return resolved;
}

void ModelBuilder::add_link(const sdf::Link& desc) {
  const ignition::math::Inertiald& inertial = desc.Inertial();
  auto link = boost::make_shared<gazebo::physics::Link>(desc.Name(), model_name_,
                                                        inertial.MassMatrix().Mass(),
                                                        inertial.Pose(), inertial.Moi());
  const Pose3d pose = in_model(desc.SemanticPose(), "link '" + desc.Name() + "'");
  link->SetWorldPose(model_pose_ * pose);
  links_[desc.Name()] = link;
  link_poses_[desc.Name()] = pose;
  model_->AddLink(link);
}

void ModelBuilder::add_joint(const sdf::Joint& desc) {
  const std::string name = desc.Name();
  gazebo::physics::JointProperties p;
  switch (desc.Type()) {
    case sdf::JointType::REVOLUTE:
    case sdf::JointType::CONTINUOUS: p.kind = Base::HINGE_JOINT; break;
    case sdf::JointType::PRISMATIC: p.kind = Base::SLIDER_JOINT; break;
    case sdf::JointType::FIXED: p.kind = Base::FIXED_JOINT; break;
    default:
      fail("joint '" + name + "': type '" + desc.Element()->Get<std::string>("type") +
           "' is not simulated (revolute, continuous, prismatic and fixed are)");
  }

  const std::string parent_name = desc.ParentLinkName();
  const std::string child_name = desc.ChildLinkName();
  LinkPtr parent;
  if (parent_name != "world") {
    if (!links_.count(parent_name)) fail("joint '" + name + "': no parent link '" + parent_name + "'");
    parent = links_[parent_name];
  }
  if (!links_.count(child_name)) fail("joint '" + name + "': no child link '" + child_name + "'");
  if (parent_joint_of_.count(child_name))
    fail("joint '" + name + "': link '" + child_name + "' is already the child of joint '" +
         parent_joint_of_[child_name] + "'");
  parent_joint_of_[child_name] = name;

  const Pose3d joint_pose = in_model(desc.SemanticPose(), "joint '" + name + "'");
  joint_poses_[name] = joint_pose;
  p.parent_to_joint =
      parent ? link_poses_[parent_name].Inverse() * joint_pose : model_pose_ * joint_pose;
  p.joint_to_child = joint_pose.Inverse() * link_poses_[child_name];

  if (p.kind != Base::FIXED_JOINT) {
    const sdf::JointAxis* axis = desc.Axis(0);
    if (axis == nullptr) fail("joint '" + name + "': no axis");
    Vector3d xyz;
    const sdf::Errors errors = axis->ResolveXyz(xyz);
    if (!errors.empty()) fail("joint '" + name + "': cannot resolve its axis: " + join(errors));
    if (xyz.Length() < 1e-9) fail("joint '" + name + "': axis of zero length");
    p.axis = xyz.Normalized();
    if (desc.Type() != sdf::JointType::CONTINUOUS) {
      p.lower = axis->Lower();
      p.upper = axis->Upper();
      if (p.lower > p.upper)
        fail("joint '" + name + "': lower limit " + std::to_string(p.lower) +
             " above upper limit " + std::to_string(p.upper));
    }
    p.effort_limit = axis->Effort();
    p.damping = std::max(0.0, axis->Damping());
    p.friction = std::max(0.0, axis->Friction());
  }
  // Inertia is filled in once the subtrees are known.
  model_->AddJoint(boost::make_shared<gazebo::physics::Joint>(name, model_name_, parent,
                                                              links_[child_name], p));
}

// The inertia a joint's effort moves: of its subtree as described (joints at
// 0), about the axis through the joint's origin, or the subtree's mass along it.
double ModelBuilder::joint_inertia(const gazebo::physics::Joint& joint) const {
  const bool slider = joint.HasType(Base::SLIDER_JOINT);
  const Pose3d& joint_pose = joint_poses_.at(joint.GetName());
  const Vector3d axis = joint_pose.Rot().RotateVector(joint.LocalAxis(0));
  double inertia = 0;
  for (const LinkPtr& link : joint.Subtree()) {
    if (slider) {
      inertia += link->Mass();
      continue;
    }
    const Pose3d& pose = link_poses_.at(link->GetName());
    const Vector3d axis_in_link = pose.Rot().RotateVectorReverse(axis);
    inertia += axis_in_link.Dot(link->Inertia() * axis_in_link);
    const Vector3d com = pose.Pos() + pose.Rot().RotateVector(link->InertialPose().Pos());
    const Vector3d r = com - joint_pose.Pos();
    inertia += link->Mass() * (r - axis * r.Dot(axis)).SquaredLength();
  }
  return std::max(inertia, slider ? kMinJointMass : kMinJointInertia);
}

void ModelBuilder::order_joints() {
  std::multimap<std::string, JointPtr> by_parent;  // parent link name ("" for the world)
  for (const JointPtr& joint : model_->GetJoints())
    by_parent.emplace(joint->GetParent() ? joint->GetParent()->GetName() : "", joint);

  gazebo::physics::Joint_V order;
  std::vector<std::string> frontier{""};
  for (const auto& link : links_)
    if (!parent_joint_of_.count(link.first)) frontier.push_back(link.first);
  while (!frontier.empty()) {
    const std::string parent = frontier.back();
    frontier.pop_back();
    auto range = by_parent.equal_range(parent);
    for (auto it = range.first; it != range.second; ++it) {
      order.push_back(it->second);
      frontier.push_back(it->second->GetChild()->GetName());
    }
  }
  if (order.size() != model_->GetJoints().size()) fail("its joints form a loop");
  model_->SetKinematicOrder(order);

  // Subtrees: a joint moves its child and every link below it.
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const JointPtr& joint = *it;
    gazebo::physics::Link_V subtree{joint->GetChild()};
    auto range = by_parent.equal_range(joint->GetChild()->GetName());
    for (auto child = range.first; child != range.second; ++child)
      subtree.insert(subtree.end(), child->second->Subtree().begin(), child->second->Subtree().end());
    joint->SetSubtree(subtree);
  }
}

void ModelBuilder::add_sensors() {
  using gazebo::sensors::ForceTorqueSensor;
  const std::string scope = world_.Name() + "::" + model_name_ + "::";
  for (uint64_t i = 0; i < desc_->LinkCount(); ++i) {
    const sdf::Link& link = *desc_->LinkByIndex(i);
    for (uint64_t s = 0; s < link.SensorCount(); ++s) {
      const sdf::Sensor& sensor = *link.SensorByIndex(s);
      if (sensor.Type() != sdf::SensorType::IMU) {
        gzwarn << "'" << origin_ << "': sensor '" << sensor.Name() << "' of type '"
               << sensor.TypeStr() << "' on link '" << link.Name()
               << "' is not simulated (imu on links, force_torque on joints)\n";
        continue;
      }
      world_.AddSensor(std::make_shared<gazebo::sensors::ImuSensor>(
          sensor.Name(), scope + link.Name() + "::" + sensor.Name(), links_[link.Name()],
          sensor.RawPose(), world_.Gravity()));
    }
  }
  for (uint64_t i = 0; i < desc_->JointCount(); ++i) {
    const sdf::Joint& joint = *desc_->JointByIndex(i);
    for (uint64_t s = 0; s < joint.SensorCount(); ++s) {
      const sdf::Sensor& sensor = *joint.SensorByIndex(s);
      if (sensor.Type() != sdf::SensorType::FORCE_TORQUE) {
        gzwarn << "'" << origin_ << "': sensor '" << sensor.Name() << "' of type '"
               << sensor.TypeStr() << "' on joint '" << joint.Name()
               << "' is not simulated (imu on links, force_torque on joints)\n";
        continue;
      }
      ForceTorqueSensor::Frame frame = ForceTorqueSensor::Frame::CHILD;
      bool parent_to_child = false;
      if (const sdf::ForceTorque* ft = sensor.ForceTorqueSensor()) {
        if (ft->Frame() == sdf::ForceTorqueFrame::PARENT) frame = ForceTorqueSensor::Frame::PARENT;
        if (ft->Frame() == sdf::ForceTorqueFrame::SENSOR) frame = ForceTorqueSensor::Frame::SENSOR;
        parent_to_child = ft->MeasureDirection() == sdf::ForceTorqueMeasureDirection::PARENT_TO_CHILD;
      }
      world_.AddSensor(std::make_shared<ForceTorqueSensor>(
          sensor.Name(), scope + joint.Name() + "::" + sensor.Name(),
          model_->GetJoint(joint.Name()), sensor.RawPose(), world_.Gravity(), frame,
          parent_to_child));
    }
  }
}

gazebo::physics::ModelPtr ModelBuilder::build(const sdf::Model& desc, const Pose3d& model_pose) {
  desc_ = &desc;
  model_name_ = desc.Name();
  model_pose_ = model_pose;
  if (world_.ModelByName(model_name_)) fail("a model of that name exists already");
  model_ = boost::make_shared<gazebo::physics::Model>(model_name_, model_pose, desc.Element(),
                                                      desc.Static());
  if (desc.ModelCount() > 0)
    gzwarn << "'" << origin_ << "', model '" << model_name_
           << "': nested models are not simulated and are ignored\n";
  for (uint64_t i = 0; i < desc.LinkCount(); ++i) add_link(*desc.LinkByIndex(i));
  for (uint64_t i = 0; i < desc.JointCount(); ++i) add_joint(*desc.JointByIndex(i));
  order_joints();
  for (const JointPtr& joint : model_->GetJoints()) joint->SetInertia(joint_inertia(*joint));
  world_.AddModel(model_);
  add_sensors();
  return model_;
}

gazebo::physics::WorldPtr build_world(sdf::Root& root, const sdf::Errors& errors,
                                      const std::string& origin) {
  if (!errors.empty()) throw std::runtime_error("'" + origin + "': " + join(errors));

  gazebo::physics::WorldPtr world;
  if (root.WorldCount() > 0) {
    const sdf::World& desc = *root.WorldByIndex(0);
    if (root.WorldCount() > 1)
      gzwarn << "'" << origin << "': only the first world, '" << desc.Name() << "', is simulated\n";
    const sdf::Physics* physics = desc.PhysicsDefault();
    world = boost::make_shared<gazebo::physics::World>(
        desc.Name(), desc.Gravity(), physics ? physics->MaxStepSize() : kDefaultStep);
    if (desc.Element()->HasElement("plugin"))
      gzwarn << "'" << origin << "': world plug-ins are not supported and are ignored\n";
    for (uint64_t i = 0; i < desc.ModelCount(); ++i) {
      const sdf::Model& model = *desc.ModelByIndex(i);
      Pose3d pose = model.RawPose();
      if (!model.SemanticPose().Resolve(pose).empty()) pose = model.RawPose();
      ModelBuilder(origin, *world).build(model, pose);
    }
  } else if (root.Model() != nullptr) {
    world = boost::make_shared<gazebo::physics::World>("default", kDefaultGravity, kDefaultStep);
    ModelBuilder(origin, *world).build(*root.Model(), root.Model()->RawPose());
  } else {
    throw std::runtime_error("'" + origin + "': holds neither a world nor a model");
  }
  world->SetSDF(root.Element());
  return world;
}

}  // namespace

gazebo::physics::WorldPtr load_sim_world(const std::string& path) {
  if (!std::ifstream(path).good()) throw std::runtime_error("cannot read file '" + path + "'");
  sdf::Root root;
  const sdf::Errors errors = root.Load(path);
  return build_world(root, errors, path);
}

gazebo::physics::WorldPtr load_sim_world_from_string(const std::string& sdf_text,
                                                     const std::string& origin) {
  sdf::Root root;
  const sdf::Errors errors = root.LoadSdfString(sdf_text);
  return build_world(root, errors, origin);
}

}  // namespace Orvo
