// Every device library loaded by name through MakeClient/MakeDriver: the
// containers it builds, the devices' interfaces and records as consumers see
// them, and the loader's refusals.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "devices/sensor_records.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/link_state_sensor.h"

using namespace Orvo::Hal;
using ::testing::HasSubstr;

namespace {

std::vector<DeviceInfo> two_devices(const std::string& type, const std::string& a,
                                    const std::string& b) {
  return {{a, type, 1}, {b, type, 2}};
}

template <typename Interface>
Interface* device_as(const DeviceContainerBase& container, size_t index) {
  return dynamic_cast<Interface*>(container.get_device_base_vector().at(index).get());
}

// Puts a record into a driver device as the device channel would, and lets
// the driver publish it.
template <typename Rx>
void publish_rx(const DeviceContainerBase& drivers, size_t index, const Rx& rx) {
  auto* driver = device_as<DeviceRt>(drivers, index);
  ASSERT_NE(driver, nullptr);
  ASSERT_TRUE(driver->set_rx_raw(reinterpret_cast<const unsigned char*>(&rx), sizeof(Rx)));
  ASSERT_TRUE(driver->sense());
}

std::string error_of(void (*load)()) {
  try {
    load();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(DeviceLibrary, EveryLibraryBuildsBothContainersInListOrder) {
  for (const std::string type : {"joint_gz", "joint_dummy", "link_state_sensor", "ft_gz", "imu_gz"}) {
    SCOPED_TRACE(type);
    const auto infos = two_devices(type, "first_lss", "second_lss");
    auto clients = DeviceContainerBase::MakeClient(type, infos);
    auto drivers = DeviceContainerBase::MakeDriver(type, infos);
    ASSERT_TRUE(clients);
    ASSERT_TRUE(drivers);
    for (const auto* container : {clients.get(), drivers.get()}) {
      const auto& devices = container->get_device_base_vector();
      ASSERT_EQ(devices.size(), 2u);
      EXPECT_EQ(devices[0]->get_name(), "first_lss");
      EXPECT_EQ(devices[1]->get_id(), 2);
    }
    EXPECT_EQ(DeviceContainerBase::MakeClient(type, {})->get_device_base_vector().size(), 0u);
    EXPECT_EQ(DeviceContainerBase::MakeDriver(type, {})->get_device_base_vector().size(), 0u);

    const std::vector<DeviceInfo> duplicates{{"dup", type, 1}, {"dup", type, 2}};
    EXPECT_THROW(DeviceContainerBase::MakeClient(type, duplicates), std::runtime_error);
    EXPECT_THROW(DeviceContainerBase::MakeDriver(type, duplicates), std::runtime_error);
  }
}

TEST(DeviceLibrary, ClientsOfferTheirInterfacesAcrossTheLibraryBoundary) {
  auto joints = DeviceContainerBase::MakeClient("joint_gz", two_devices("joint_gz", "j1", "j2"));
  EXPECT_NE(device_as<JointBase>(*joints, 1), nullptr);
  auto dummies = DeviceContainerBase::MakeClient("joint_dummy", two_devices("joint_dummy", "j1", "j2"));
  EXPECT_NE(device_as<JointBase>(*dummies, 1), nullptr);
  auto links = DeviceContainerBase::MakeClient("link_state_sensor",
                                               two_devices("link_state_sensor", "base_link_lss", "_lss"));
  ASSERT_NE(device_as<LinkStateSensor>(*links, 0), nullptr);
  EXPECT_EQ(device_as<LinkStateSensor>(*links, 0)->getLinkName(), "base_link");
  EXPECT_EQ(device_as<LinkStateSensor>(*links, 1)->getLinkName(), "");
  auto fts = DeviceContainerBase::MakeClient("ft_gz", two_devices("ft_gz", "f1", "f2"));
  EXPECT_NE(device_as<ForceTorque>(*fts, 0), nullptr);
  auto imus = DeviceContainerBase::MakeClient("imu_gz", two_devices("imu_gz", "i1", "i2"));
  EXPECT_NE(device_as<Imu>(*imus, 0), nullptr);
}

TEST(DeviceLibrary, LinkStateSensorNameShorterThanItsSuffixIsRefused) {
  EXPECT_THROW(DeviceContainerBase::MakeClient("link_state_sensor", {{"abc", "link_state_sensor", 1}}),
               std::out_of_range);
}

TEST(DeviceLibrary, DummyJointEchoesACommandOneCycleLater) {
  const auto infos = two_devices("joint_dummy", "dummy_a", "dummy_b");
  auto drivers = DeviceContainerBase::MakeDriver("joint_dummy", infos);
  auto clients = DeviceContainerBase::MakeClient("joint_dummy", infos);
  JointBase* joint = device_as<JointBase>(*clients, 0);
  ASSERT_NE(joint, nullptr);

  // Never commanded: zeros at 55 degrees.
  EXPECT_TRUE(drivers->sense_all());
  EXPECT_TRUE(clients->sense_all());
  EXPECT_EQ(joint->get_link_pos(), 0.0);
  EXPECT_EQ(joint->get_temp(), 55.0);

  joint_tx cmd;
  cmd.pos_ref = 1.5f;
  cmd.vel_ref = -0.25f;
  cmd.tor_ref = 3.0f;
  cmd.stiffness = 200.0f;
  cmd.damping = 10.0f;
  cmd.mask = 0;  // echoed whatever the mask holds
  joint->set_tx(cmd);
  EXPECT_TRUE(clients->move_all());
  EXPECT_TRUE(drivers->move_all()) << "every client published its command";

  // Next cycle: the echo.
  EXPECT_TRUE(drivers->sense_all());
  EXPECT_TRUE(clients->sense_all());
  const joint_rx& rx = joint->get_rx();
  EXPECT_EQ(rx.link_pos, 1.5f);
  EXPECT_EQ(rx.motor_pos, 1.5f);
  EXPECT_EQ(rx.link_vel, -0.25f);
  EXPECT_EQ(rx.motor_vel, -0.25f);
  EXPECT_EQ(rx.tor, 3.0f);
  EXPECT_EQ(rx.temp, 55.0f);
  EXPECT_EQ(rx.pos_ref, 1.5f);
  EXPECT_EQ(rx.vel_ref, -0.25f);
  EXPECT_EQ(rx.tor_ref, 3.0f);
  EXPECT_EQ(rx.stiffness, 200.0f);
  EXPECT_EQ(rx.damping, 10.0f);
  EXPECT_EQ(device_as<JointBase>(*clients, 1)->get_link_pos(), 0.0) << "no cross-talk";
}

TEST(DeviceLibrary, SensorGettersReadTheRecordAsSensed) {
  const auto ft_infos = two_devices("ft_gz", "wrist_ft", "ankle_ft");
  auto ft_drivers = DeviceContainerBase::MakeDriver("ft_gz", ft_infos);
  auto ft_clients = DeviceContainerBase::MakeClient("ft_gz", ft_infos);
  ForceTorque* ft = device_as<ForceTorque>(*ft_clients, 0);
  EXPECT_EQ(ft->getWrench(), (Eigen::Matrix<double, 6, 1>::Zero()));
  publish_rx(*ft_drivers, 0, ft_rx{0.1f, 2.0f, 3.0f, -4.0f, 5.0f, 6.0f});
  ASSERT_TRUE(ft_clients->get_device_base_vector()[0]->sense());
  EXPECT_EQ(ft->getWrench()(0), 0.10000000149011612) << "widened, not rounded to 0.1";
  EXPECT_EQ(ft->getWrench()(3), -4.0);
  EXPECT_EQ(ft->getWrench()(5), 6.0);

  const auto imu_infos = two_devices("imu_gz", "torso_imu", "head_imu");
  auto imu_drivers = DeviceContainerBase::MakeDriver("imu_gz", imu_infos);
  auto imu_clients = DeviceContainerBase::MakeClient("imu_gz", imu_infos);
  Imu* imu = device_as<Imu>(*imu_clients, 1);
  EXPECT_EQ(imu->getOrientation().coeffs(), Eigen::Vector4d::Zero()) << "zero, not the identity";
  publish_rx(*imu_drivers, 1, imu_rx{1, 2, 3, 4, 5, 6, 0, 0, 0.7071068f, 0.7071068f});
  ASSERT_TRUE(imu_clients->get_device_base_vector()[1]->sense());
  EXPECT_EQ(imu->getAngularVelocity(), Eigen::Vector3d(1, 2, 3));
  EXPECT_EQ(imu->getLinearAcceleration(), Eigen::Vector3d(4, 5, 6));
  EXPECT_EQ(imu->getOrientation().x(), 0.0);
  EXPECT_EQ(imu->getOrientation().z(), 0.7071068286895752);
  EXPECT_EQ(imu->getOrientation().w(), 0.7071068286895752);

  const auto link_infos = two_devices("link_state_sensor", "hand_lss", "foot_lss");
  auto link_drivers = DeviceContainerBase::MakeDriver("link_state_sensor", link_infos);
  auto link_clients = DeviceContainerBase::MakeClient("link_state_sensor", link_infos);
  LinkStateSensor* link = device_as<LinkStateSensor>(*link_clients, 0);
  EXPECT_TRUE(link->getPose().matrix().isIdentity()) << "all-zero quaternion gives the identity";
  EXPECT_EQ(link->getTwist(), (Eigen::Matrix<double, 6, 1>::Zero()));

  // Unnormalised quaternion (2, 0, 0, 0): diagonal 1, -7, -7.
  publish_rx(*link_drivers, 0,
             LinkStateSensorRx{1, 2, 3, 2, 0, 0, 0, 0.5, 0.25, 0.125, -1, -2, -3});
  ASSERT_TRUE(link_clients->get_device_base_vector()[0]->sense());
  Eigen::Matrix4d expected;
  expected << 1, 0, 0, 1, 0, -7, 0, 2, 0, 0, -7, 3, 0, 0, 0, 1;
  EXPECT_EQ(link->getPose().matrix(), expected);
  Eigen::Matrix<double, 6, 1> twist;
  twist << 0.5, 0.25, 0.125, -1, -2, -3;
  EXPECT_EQ(link->getTwist(), twist);

  // Quaternion (0, 0, 0, 2) still gives the identity rotation.
  publish_rx(*link_drivers, 0, LinkStateSensorRx{0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(link_clients->get_device_base_vector()[0]->sense());
  EXPECT_TRUE(link->getPose().matrix().isIdentity());
}

TEST(DeviceLibrary, SensorDriversWaitForTheSimulatorButAlwaysMove) {
  for (const std::string type : {"link_state_sensor", "ft_gz", "imu_gz"}) {
    SCOPED_TRACE(type);
    auto drivers = DeviceContainerBase::MakeDriver(type, two_devices(type, "s1_lss", "s2_lss"));
    for (int cycle = 0; cycle < 3; ++cycle) {
      EXPECT_FALSE(drivers->sense_all());
      EXPECT_TRUE(drivers->move_all());
    }
  }
}

TEST(DeviceLibrary, LoaderRefusalsNameTheLibrary) {
  const std::string missing = error_of([] { DeviceContainerBase::MakeClient("no_such_type", {}); });
  EXPECT_THAT(missing, HasSubstr("liborvodev_no_such_type.so"));
  EXPECT_THAT(missing, HasSubstr(std::getenv("ORVO2_PLUGIN_PATH")));

  const std::string wrong_abi = error_of([] { DeviceContainerBase::MakeClient("test_wrong_abi", {}); });
  EXPECT_THAT(wrong_abi, HasSubstr("liborvodev_test_wrong_abi.so"));
  EXPECT_THAT(wrong_abi, HasSubstr("3.0.0"));

  EXPECT_NO_THROW(DeviceContainerBase::MakeClient("test_no_driver", {}));
  const std::string no_entry = error_of([] { DeviceContainerBase::MakeDriver("test_no_driver", {}); });
  EXPECT_THAT(no_entry, HasSubstr("liborvodev_test_no_driver.so"));
  EXPECT_THAT(no_entry, HasSubstr("orvo2_create_dev_dri_test_no_driver"));

  const std::string escape = error_of([] { DeviceContainerBase::MakeClient("../lib/x", {}); });
  EXPECT_THAT(escape, HasSubstr("invalid device type '../lib/x'"));
}
