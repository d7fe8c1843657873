// A model plug-in for tests, loaded by name like any other: drives every
// non-fixed joint with a PD torque towards the target of its gain element,
// counts the world updates, and prints what it loaded and, when destroyed,
// where the joints and sensors ended, each line starting with "pd_test:".
//
//   <plugin name="pd" filename="liborvo2_sim_test_pd.so">
//     <pid><gain name="joint" p="50" d="5" target="0.5"/></pid>
//   </plugin>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gazebo/common/common.hh>
#include <gazebo/gazebo.hh>
#include <gazebo/physics/physics.hh>
#include <gazebo/sensors/sensors.hh>

namespace {

struct Gain {
  gazebo::physics::JointPtr joint;
  double p = 100;
  double d = 5;
  double target = 0;
};

class PdTestPlugin : public gazebo::ModelPlugin {
public:
  ~PdTestPlugin() override {
    std::cout << "pd_test: updates " << updates_ << (time_went_back_ ? " time went back" : "") << "\n";
    for (const Gain& g : gains_)
      std::cout << "pd_test: joint '" << g.joint->GetName() << "' position " << g.joint->Position(0)
                << " velocity " << g.joint->GetVelocity(0) << "\n";
    for (const auto& imu : imus_)
      std::cout << "pd_test: imu '" << imu->Name() << "' acceleration " << imu->LinearAcceleration()
                << "\n";
    for (const auto& ft : fts_)
      std::cout << "pd_test: ft '" << ft->Name() << "' force " << ft->Force() << "\n";
    std::cout.flush();
  }

  void Load(gazebo::physics::ModelPtr model, sdf::ElementPtr sdf) override {
    for (const gazebo::physics::JointPtr& joint : model->GetJoints())
      if (!joint->HasType(gazebo::physics::Base::FIXED_JOINT)) gains_.push_back(Gain{joint});
    if (sdf->HasElement("pid")) {
      for (sdf::ElementPtr e = sdf->GetElement("pid")->GetFirstElement(); e; e = e->GetNextElement()) {
        const std::string name = e->Get<std::string>("name");
        for (Gain& g : gains_) {
          if (g.joint->GetName() != name) continue;
          g.p = e->Get<double>("p");
          g.d = e->Get<double>("d");
          g.target = e->Get<double>("target");
          std::cout << "pd_test: gain '" << name << "' p=" << g.p << " d=" << g.d
                    << " target=" << g.target << "\n";
        }
      }
    }
    const std::string key = "::" + model->GetName() + "::";
    for (const auto& sensor : gazebo::sensors::SensorManager::Instance()->GetSensors()) {
      if (sensor->ScopedName().find(key) == std::string::npos) continue;
      if (auto imu = std::dynamic_pointer_cast<gazebo::sensors::ImuSensor>(sensor)) imus_.push_back(imu);
      if (auto ft = std::dynamic_pointer_cast<gazebo::sensors::ForceTorqueSensor>(sensor)) fts_.push_back(ft);
    }
    connection_ = gazebo::event::Events::ConnectWorldUpdateBegin(
        [this](const gazebo::common::UpdateInfo& info) { on_update(info); });
  }

private:
  void on_update(const gazebo::common::UpdateInfo& info) {
    if (updates_ > 0 && info.simTime.Nanoseconds() <= last_time_ns_) time_went_back_ = true;
    last_time_ns_ = info.simTime.Nanoseconds();
    ++updates_;
    for (const Gain& g : gains_)
      g.joint->SetForce(0, -g.p * (g.joint->Position(0) - g.target) - g.d * g.joint->GetVelocity(0));
  }

  gazebo::event::ConnectionPtr connection_;
  std::vector<Gain> gains_;
  std::vector<gazebo::sensors::ImuSensorPtr> imus_;
  std::vector<gazebo::sensors::ForceTorqueSensorPtr> fts_;
  long updates_ = 0;
  int64_t last_time_ns_ = 0;
  bool time_went_back_ = false;
};

}  // namespace

GZ_REGISTER_MODEL_PLUGIN(PdTestPlugin)
