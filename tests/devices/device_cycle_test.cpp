// sense_all / run_all / move_all: every device, in order, failures and
// exceptions contained.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/typed/device_container.h"
#include "orvo2/context/journal.h"
#include "test_devices.h"

namespace Orvo {
namespace Hal {
namespace {

using test::CallLog;
using test::RecordingDevice;

class DeviceCycle : public ::testing::Test {
protected:
  DeviceCycle()
      : container({{"a", "joint", 1}, {"b", "joint", 2}, {"c", "joint", 3}},
                  [this](const DeviceInfo& info) { return std::make_shared<RecordingDevice>(info, &log); }) {}

  RecordingDevice& device(const std::string& name) { return *container.get_device_name_map().at(name); }

  CallLog log;
  DeviceContainer<RecordingDevice> container;
};

TEST_F(DeviceCycle, CallsEveryDeviceInOrderOfAddition) {
  EXPECT_TRUE(container.sense_all());
  EXPECT_TRUE(container.run_all());
  EXPECT_TRUE(container.move_all());
  const std::vector<std::string> expected = {"a.sense", "b.sense", "c.sense", "a.run", "b.run",
                                             "c.run",   "a.move",  "b.move",  "c.move"};
  EXPECT_EQ(log.calls, expected);
}

TEST_F(DeviceCycle, OneFailingDeviceFailsTheStepButAllAreCalled) {
  device("a").result = false;
  EXPECT_FALSE(container.sense_all());
  EXPECT_FALSE(container.move_all());
  const std::vector<std::string> expected = {"a.sense", "b.sense", "c.sense",
                                             "a.move",  "b.move",  "c.move"};
  EXPECT_EQ(log.calls, expected);
}

TEST_F(DeviceCycle, ThrowingDeviceIsContainedAndReportedOnce) {
  JournalCapture journal;
  device("b").throws = true;

  for (int cycle = 0; cycle < 3; ++cycle) {
    EXPECT_FALSE(container.sense_all());
    EXPECT_FALSE(container.run_all());
    EXPECT_FALSE(container.move_all());
  }
  EXPECT_EQ(log.calls.size(), 27u) << "devices after the throwing one were skipped";
  EXPECT_EQ(log.calls.back(), "c.move");

  const auto entries = journal.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, "device 'b' of type 'joint' (id 2) threw in sense: broken b \n");
  EXPECT_EQ(entries[0].type, Journal::Error);

  device("b").throws = false;
  EXPECT_TRUE(container.sense_all());
}

}  // namespace
}  // namespace Hal
}  // namespace Orvo
