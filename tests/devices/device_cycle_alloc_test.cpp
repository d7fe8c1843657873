// Control cycles of the device libraries allocate nothing once the first
// cycle has set up trace levels and thread-local data.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "devices/device_tpl_common.h"
#include "framework/typed/parameter.h"
#include "orvo2/channel/server_manager.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/link_state_sensor.h"

using namespace Orvo::Hal;
using Orvo::test::AllocCounter;

namespace {

class SimJoint : public DeviceTplCommon<joint_rx, joint_tx> {
public:
  explicit SimJoint(const std::string& name) : DeviceTplCommon({name, "joint_gz", 0}) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  joint_rx& rx() { return _rx; }
};

std::vector<DeviceInfo> devices_of(const std::string& type, int count) {
  std::vector<DeviceInfo> infos;
  for (int i = 0; i < count; ++i) {
    infos.push_back({"dev_" + std::to_string(i) + "_lss", type, i});
  }
  return infos;
}

}  // namespace

TEST(DeviceCycleAllocations, SimulatedJointsAgainstAServer) {
  const std::string channel = "test_joint_gz_alloc_" + std::to_string(::getpid());
  Orvo::Context().paramManager().setParam<std::string>("/joint_gz/client_name", channel);
  const auto infos = devices_of("joint_gz", 10);
  auto drivers = DeviceContainerBase::MakeDriver("joint_gz", infos);
  auto clients = DeviceContainerBase::MakeClient("joint_gz", infos);
  std::vector<std::shared_ptr<DeviceRt>> sim;
  std::vector<std::shared_ptr<SimJoint>> sim_joints;
  for (const DeviceInfo& info : infos) {
    sim_joints.push_back(std::make_shared<SimJoint>(info.name));
    sim.push_back(sim_joints.back());
  }
  Orvo::ServerManager server(sim, "shm", channel);
  JointBase& first = dynamic_cast<JointBase&>(*clients->get_device_base_vector()[0]);

  int sensed = 0;
  auto cycle = [&](int k) {
    sim_joints[0]->rx().link_pos = float(k);
    server.send(false);
    sensed += drivers->sense_all() ? 1 : 0;
    clients->sense_all();
    first.set_pos_ref(first.get_link_pos());
    clients->move_all();
    drivers->move_all();
    server.run();
  };
  for (int k = 0; k < 3; ++k) {
    cycle(k);
  }
  AllocCounter counter;
  for (int k = 3; k < 500; ++k) {
    cycle(k);
  }
  const size_t allocations = counter.count();
  EXPECT_EQ(allocations, 0u);
  EXPECT_GT(sensed, 400) << "the cycles must have exchanged records";
}

TEST(DeviceCycleAllocations, DummyJointsAndSensorClients) {
  auto dummy_drivers = DeviceContainerBase::MakeDriver("joint_dummy", devices_of("joint_dummy", 100));
  auto dummy_clients = DeviceContainerBase::MakeClient("joint_dummy", devices_of("joint_dummy", 100));
  std::vector<std::unique_ptr<DeviceContainerBase>> sensors;
  for (const std::string type : {"link_state_sensor", "ft_gz", "imu_gz"}) {
    sensors.push_back(DeviceContainerBase::MakeDriver(type, devices_of(type, 3)));
    sensors.push_back(DeviceContainerBase::MakeClient(type, devices_of(type, 3)));
  }
  auto* link = dynamic_cast<LinkStateSensor*>(sensors[1]->get_device_base_vector()[0].get());
  auto* ft = dynamic_cast<ForceTorque*>(sensors[3]->get_device_base_vector()[0].get());
  auto* imu = dynamic_cast<Imu*>(sensors[5]->get_device_base_vector()[0].get());
  ASSERT_TRUE(link && ft && imu);

  double sink = 0.0;
  auto cycle = [&] {
    dummy_drivers->sense_all();
    dummy_clients->sense_all();
    for (auto& container : sensors) {
      container->sense_all();
    }
    for (const auto& device : dummy_clients->get_device_base_vector()) {
      dynamic_cast<JointBase&>(*device).set_pos_ref(sink);
    }
    sink += link->getPose()(0, 0) + ft->getWrench()(0) + imu->getOrientation().w() +
            link->getTwist()(5) + double(link->getLinkName().size());
    dummy_clients->move_all();
    dummy_drivers->move_all();
    for (auto& container : sensors) {
      container->move_all();
    }
  };
  cycle();
  AllocCounter counter;
  for (int k = 0; k < 200; ++k) {
    cycle();
  }
  const size_t allocations = counter.count();
  EXPECT_EQ(allocations, 0u);
}
