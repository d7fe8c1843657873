// Name resolution of tasks.
#include <stdexcept>

#include <gtest/gtest.h>

#include "orvo2/tasks/task.h"

namespace Orvo {
namespace {

TEST(TaskNames, ResolveWithoutNamespace) {
  Task task("ctrl");
  EXPECT_EQ(task.resolveName("/abs/x"), "/abs/x");
  EXPECT_EQ(task.resolveName("~x"), "/ctrl/x");
  EXPECT_EQ(task.resolveName("~/x"), "/ctrl/x");
  EXPECT_EQ(task.resolveName("x"), "/x");
}

TEST(TaskNames, ResolveUnderNamespaceAndRemappings) {
  Task task("jm", "joint_master", {{"cutoff", "~tx_filter_cutoff"}, {"/old", "/new"}});
  task.setNamespace("/robot/");
  EXPECT_EQ(task.getNamespace(), "robot");
  EXPECT_EQ(task.resolveName("/abs"), "/abs");
  EXPECT_EQ(task.resolveName("~tx_filter_cutoff"), "/robot/jm/tx_filter_cutoff");
  EXPECT_EQ(task.resolveName("a/b"), "/robot/a/b");
  EXPECT_EQ(task.resolveName("cutoff"), "/robot/jm/tx_filter_cutoff");
  EXPECT_EQ(task.resolveName("/old"), "/new");
}

TEST(TaskNames, InternalNamespaceNeedsPrivilege) {
  Task task("plain");
  EXPECT_THROW(task.setNamespace("orvo_internal"), std::runtime_error);
  EXPECT_THROW(task.setNamespace("/orvo_internal/hal"), std::runtime_error);
  EXPECT_NO_THROW(task.setNamespace("orvo_internalish"));
  EXPECT_EQ(task.getNamespace(), "orvo_internalish");

  Task privileged("sched", "", {}, true);
  privileged.setNamespace("orvo_internal");
  EXPECT_EQ(privileged.resolveName("scheduler/t/command"), "/orvo_internal/scheduler/t/command");
}

}  // namespace
}  // namespace Orvo
