// Building and filling typed containers.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/typed/device_container.h"
#include "test_devices.h"

namespace Orvo {
namespace Hal {
namespace {

using test::OtherDevice;
using test::Reading;
using test::ReadingDevice;
using test::RecordingDevice;

std::vector<DeviceInfo> joints() {
  return {{"hip", "joint", 3}, {"knee", "joint", 1}, {"ankle", "joint", 2}};
}

TEST(DeviceContainer, KeepsDevicesInOrderByIdAndByName) {
  DeviceContainer<RecordingDevice> container(joints());

  const auto& order = container.get_device_vector();
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[0]->get_name(), "hip");
  EXPECT_EQ(order[1]->get_name(), "knee");
  EXPECT_EQ(order[2]->get_name(), "ankle");
  EXPECT_EQ(container.get_device_id_map().at(1), order[1]);
  EXPECT_EQ(container.get_device_name_map().at("ankle"), order[2]);
  ASSERT_EQ(container.get_device_base_vector().size(), 3u);
  EXPECT_EQ(container.get_device_base_vector()[0], order[0]);

  DeviceContainer<RecordingDevice> empty({});
  EXPECT_TRUE(empty.get_device_vector().empty());
  EXPECT_TRUE(empty.get_device_base_vector().empty());
  EXPECT_TRUE(empty.sense_all());
}

TEST(DeviceContainer, RefusesRepeatedNamesAndIdsBeforeMakingAnyDevice) {
  int made = 0;
  const DeviceContainer<RecordingDevice>::Factory counting = [&made](const DeviceInfo& info) {
    ++made;
    return std::make_shared<RecordingDevice>(info);
  };

  try {
    DeviceContainer<RecordingDevice>({{"a", "joint", 1}, {"b", "joint", 2}, {"a", "joint", 3}}, counting);
    FAIL() << "repeated name accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("'a'"), std::string::npos) << e.what();
  }
  try {
    DeviceContainer<RecordingDevice>({{"a", "joint", 1}, {"b", "joint", 7}, {"c", "joint", 7}}, counting);
    FAIL() << "repeated id accepted";
  } catch (const std::runtime_error& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("7"), std::string::npos) << text;
    EXPECT_NE(text.find("'c'"), std::string::npos) << text;
  }
  EXPECT_EQ(made, 0);
}

TEST(DeviceContainer, SameIdAddedTwiceReplacesOnlyTheMapEntry) {
  DeviceContainer<RecordingDevice> container(joints());
  auto twin = std::make_shared<RecordingDevice>(DeviceInfo{"twin", "joint", 3});

  EXPECT_TRUE(container.addDevice(twin));
  EXPECT_EQ(container.get_device_id_map().at(3), twin);
  EXPECT_EQ(container.get_device_id_map().size(), 3u);
  EXPECT_EQ(container.get_device_name_map().at("hip")->get_id(), 3);
  EXPECT_EQ(container.get_device_vector().size(), 4u);
  EXPECT_EQ(container.get_device_base_vector().size(), 4u);
}

TEST(DeviceContainer, RefusesDevicesOfAnotherType) {
  DeviceContainer<RecordingDevice> container(joints());

  EXPECT_FALSE(container.addDevice(std::make_shared<OtherDevice>(DeviceInfo{"other", "joint", 9})));
  EXPECT_FALSE(container.addDevice(nullptr));
  EXPECT_EQ(container.get_device_vector().size(), 3u);
  EXPECT_EQ(container.get_device_id_map().count(9), 0u);
  EXPECT_EQ(container.get_device_name_map().count("other"), 0u);
  EXPECT_EQ(container.get_device_base_vector().size(), 3u);
}

TEST(DeviceContainer, HoldsDevicesThroughAnInterface) {
  DeviceContainer<Reading> sensors(
      {{"left", "reading", 1}, {"right", "reading", 2}},
      [](const DeviceInfo& info) { return std::make_shared<ReadingDevice>(info); });

  EXPECT_EQ(sensors.get_device_name_map().at("right")->reading(), 20);
  EXPECT_FALSE(sensors.addDevice(std::make_shared<RecordingDevice>(DeviceInfo{"plain", "reading", 3})));
  EXPECT_TRUE(sensors.sense_all());

  // A factory that makes nothing is a failure, not a smaller container.
  EXPECT_THROW(DeviceContainer<Reading>({{"x", "reading", 1}},
                                        [](const DeviceInfo&) { return std::shared_ptr<Reading>(); }),
               std::runtime_error);
}

class RefusingDevice : public RecordingDevice {
public:
  explicit RefusingDevice(DeviceInfo info) : RecordingDevice(std::move(info)) {
    if (get_name() == "bad") {
      throw std::logic_error("device 'bad' cannot be made here");
    }
  }
};

TEST(DeviceContainer, DeviceConstructorFailureLeavesNoContainer) {
  EXPECT_THROW(DeviceContainer<RefusingDevice>({{"good", "joint", 1}, {"bad", "joint", 2}}),
               std::logic_error);
  EXPECT_NO_THROW(DeviceContainer<RefusingDevice>({{"good", "joint", 1}}));
}

}  // namespace
}  // namespace Hal
}  // namespace Orvo
