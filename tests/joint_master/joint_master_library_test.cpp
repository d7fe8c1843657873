// The joint master library loaded by name: its factories, and what the
// master's construction finds and reports.
#include <gtest/gtest.h>

#include <string>

#include "master_rig.h"
#include "orvo2/context/journal.h"

using namespace Orvo;
using namespace Orvo::test;
using Hal::DeviceContainerBase;

namespace {

int index_of(const JournalCapture& journal, const std::string& text) {
  const auto entries = journal.entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].text == text) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

TEST(JointMasterLibrary, ClientFactoryRefusesAnyClient) {
  EXPECT_TRUE(DeviceContainerBase::MakeClient("joint_master", {})->get_device_base_vector().empty());
  try {
    DeviceContainerBase::MakeClient("joint_master", {{"all_joints", "joint_master", 100}});
    FAIL() << "a client was made";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "cannot instantiate API for JointMaster");
  }
}

TEST(JointMasterLibrary, DriverFactoryHoldsOneMasterWhateverTheList) {
  describe_hardware({});
  for (size_t listed : {0u, 3u}) {
    std::vector<DeviceInfo> infos;
    for (size_t i = 0; i < listed; ++i) {
      infos.push_back({"m" + std::to_string(i), "joint_master", int(i)});
    }
    auto container = DeviceContainerBase::MakeDriver("joint_master", infos);
    ASSERT_EQ(container->get_device_base_vector().size(), 1u);
    const DeviceInfo& info = container->get_device_base_vector()[0]->get_devinfo();
    EXPECT_EQ(info.name, "jm");
    EXPECT_EQ(info.type, "jm");
    EXPECT_EQ(info.id, -1);
  }
}

TEST(JointMasterLibrary, MissingHardwareDescriptionFailsTheFactory) {
  if (Context().paramManager().findParam<Hal::HardwareDescription>(
          "/orvo_internal/hardware_description")) {
    GTEST_SKIP() << "needs a process without a hardware description (ctest runs each test alone)";
  }
  EXPECT_THROW(DeviceContainerBase::MakeDriver("joint_master", {}), std::exception);
}

TEST(JointMasterConstruction, DiscoversJointsTypeByTypeInListOrder) {
  JournalCapture journal;
  describe_hardware({{"b_joint", "joint_gz", 4},
                     {"z_joint", "joint_dummy", 9},
                     {"a_joint", "joint_dummy", 2},
                     {"imu", "imu_gz", 3}});
  auto masters = DeviceContainerBase::MakeDriver("joint_master", {});
  const int z = index_of(journal, "found joint 'z_joint', id = 9, type = 'joint_dummy' \n");
  const int a = index_of(journal, "found joint 'a_joint', id = 2, type = 'joint_dummy' \n");
  const int b = index_of(journal, "found joint 'b_joint', id = 4, type = 'joint_gz' \n");
  EXPECT_TRUE(z >= 0 && z < a && a < b) << z << " " << a << " " << b;
  EXPECT_FALSE(journal.contains("'imu'"));
  EXPECT_EQ(journal.count("no joints have been found \n"), 0);

  // The pipelines are kept by ascending id, as an unknown id's error tells.
  auto tx_pub = Context().topicManager().advertise<Hal::JointMasterTx>(
      Hal::DeviceRt::TxTopicName("joint_master", "all_joints"), Hal::JointMasterTx(), "probe");
  auto loan = tx_pub->loanMessage();
  loan->value().info = {{"", "", 7}};
  loan->value().tx = {command(0, 0, 0, 1)};
  tx_pub->publishLoaned(std::move(loan));
  EXPECT_TRUE(masters->get_device_base_vector()[0]->move());
  EXPECT_EQ(journal.count("could not find joint with id = 7, available ids are [2, 4, 9] \n"), 1);
}

TEST(JointMasterConstruction, NoJointsNoUrdfStillServes) {
  JournalCapture journal;
  describe_hardware({{"imu", "imu_gz", 3}});
  Context().paramManager().setParam("/jm/enable_safety", false);
  auto masters = DeviceContainerBase::MakeDriver("joint_master", {});
  EXPECT_EQ(journal.count("no joints have been found \n"), 1);
  EXPECT_EQ(journal.count("running with disabled safety policies \n"), 1);
  const int missing = index_of(journal, "could not find urdf in '/robot_description' param \n");
  const int scaling = index_of(journal, "setting safety limits from urdf (scaling = 1) \n");
  const int no_model = index_of(journal, "no urdf model available, check parameter '/robot_description' \n");
  EXPECT_TRUE(missing >= 0 && missing < scaling && scaling < no_model);

  // An empty aggregated rx every cycle, counted.
  auto sub = Context().topicManager().subscribe<Hal::JointMasterRx>(
      Hal::DeviceRt::RxTopicName("joint_master", "all_joints"), [](const Hal::JointMasterRx&) {},
      nullptr, 20, "probe");
  Hal::DeviceBase& master = *masters->get_device_base_vector()[0];
  EXPECT_TRUE(master.sense());
  EXPECT_TRUE(master.sense());
  EXPECT_EQ(sub->run(), 2);
  bool reply = true;
  auto client = Context().serviceManager().serviceClient<double, bool>("/joint_master/set_limits_from_urdf");
  EXPECT_TRUE(client->call(0.5, reply, std::chrono::seconds(2)));  // same thread: direct
  EXPECT_FALSE(reply);
}

TEST(JointMasterConstruction, RefusesTwoJointsWithOneId) {
  describe_hardware({{"a_joint", "joint_dummy", 2}, {"b_joint", "joint_gz", 2}});
  try {
    DeviceContainerBase::MakeDriver("joint_master", {});
    FAIL() << "built";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "joint master: joint id 2 is used by 'a_joint' and 'b_joint'");
  }
}

// A joint whose URDF limits cannot be used would run unbounded: the master
// refuses to start, naming the joint, the field and the value.
TEST(JointMasterConstruction, RefusesUrdfLimitsItCannotUseAndADescriptionThatIsNoUrdf) {
  describe_hardware(arm_joints(3));
  const auto refusal = [](const std::string& urdf) -> std::string {
    Context().paramManager().setParam<std::string>("/robot_description", urdf);
    try {
      DeviceContainerBase::MakeDriver("joint_master", {});
    } catch (const std::runtime_error& error) {
      return error.what();
    }
    return "built";
  };
  const auto edited = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const std::string arm = dummy_arm_urdf();
  const std::string swapped = edited(arm, "lower=\"-1.9\" upper=\"1.9\"", "lower=\"1.9\" upper=\"-1.9\"");
  const std::string both = edited(swapped, "velocity=\"2.5\"", "velocity=\"-2.5\"");
  EXPECT_EQ(refusal(both), "joint 'shoulder_pitch': URDF lower limit 1.9 is above upper limit -1.9");
  EXPECT_EQ(refusal(edited(arm, "velocity=\"2.5\"", "velocity=\"-2.5\"")),
            "joint 'elbow_pitch': URDF velocity limit -2.5 is negative");
  EXPECT_EQ(refusal(edited(arm, "effort=\"50.0\"", "effort=\"-1\"")),
            "joint 'elbow_pitch': URDF effort limit -1 is negative");
  EXPECT_EQ(refusal(edited(arm, "lower=\"-1.9\"", "lower=\"nan\"")),
            "joint master: the robot description in '/robot_description' is no valid URDF: no "
            "joint would have limits");
  // A continuous joint has no position bounds to swap.
  EXPECT_EQ(refusal(edited(swapped, "name=\"shoulder_pitch\" type=\"revolute\"",
                           "name=\"shoulder_pitch\" type=\"continuous\"")),
            "built");
}
