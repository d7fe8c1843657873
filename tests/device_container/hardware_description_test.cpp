#include <gtest/gtest.h>

#include "framework/device_info.h"

namespace Orvo {
namespace Hal {
namespace {

TEST(HardwareDescription, GroupsDeviceInfosByType) {
  HardwareDescription hw;
  hw.addDeviceInfo({"hip", "joint_gz", 1});
  hw.addDeviceInfo({"imu", "imu_gz", 20});
  hw.addDeviceInfo({"knee", "joint_gz", 2});

  const auto joints = hw.getDeviceInfoAll("joint_gz");
  ASSERT_EQ(joints.size(), 2u);
  EXPECT_EQ(joints[0].name, "hip");
  EXPECT_EQ(joints[1].name, "knee");
  EXPECT_TRUE(hw.getDeviceInfoAll("ft_gz").empty());
  EXPECT_EQ(hw.by_id.at(20).name, "imu");
  EXPECT_EQ(hw.by_name.at("knee").id, 2);
  EXPECT_EQ(hw.types, (std::set<std::string>{"imu_gz", "joint_gz"}));

  const HardwareDescription copy = hw;
  EXPECT_EQ(copy.getDeviceInfoAll("imu_gz")[0].id, 20);
}

}  // namespace
}  // namespace Hal
}  // namespace Orvo
