// The Task forms resolve the name before they reach the registry.
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "framework/typed/parameter.h"

namespace Orvo {
namespace {

TEST(TaskParameters, NamesAreResolvedByTheTask) {
  const std::string ns = "task_params_" + std::to_string(getpid());
  ParameterManager& params = Context().paramManager();
  Task jm("jm", "joint_master", {{"gain", "/" + ns + "/shared_gain"}});
  jm.setNamespace(ns);

  // Private name: below the task, not the text as written.
  ASSERT_TRUE(params.setParam<double>("/" + ns + "/jm/tx_filter_cutoff", 12.5));
  EXPECT_EQ(jm.getParamOr<double>("~tx_filter_cutoff", 0.0), 12.5);
  double out = 0.0;
  EXPECT_TRUE(jm.getParam<double>("~tx_filter_cutoff", out));
  EXPECT_EQ(out, 12.5);
  EXPECT_EQ(params.findParam<double>("~tx_filter_cutoff"), nullptr);

  // Relative name: below the namespace; absolute name unchanged; remapped name.
  EXPECT_TRUE(jm.emplaceParam<std::string>("mode", "position"));
  EXPECT_EQ(params.getParamOrThrow<std::string>("/" + ns + "/mode"), "position");
  EXPECT_EQ(jm.getParamOrThrow<std::string>("/" + ns + "/mode"), "position");
  EXPECT_FALSE(jm.emplaceParam<std::string>("mode", "velocity"));
  ASSERT_TRUE(params.setParam<double>("/" + ns + "/shared_gain", 4.0));
  EXPECT_EQ(jm.getParamOrThrow<double>("gain"), 4.0);

  // Refusals keep `out` untouched.
  out = -1.0;
  EXPECT_FALSE(jm.getParam<double>("~missing", out));
  EXPECT_FALSE(jm.getParam<double>("mode", out));
  EXPECT_EQ(out, -1.0);
  EXPECT_THROW(jm.getParamOrThrow<double>("~missing"), ParameterUndefined);
}

}  // namespace
}  // namespace Orvo
