// Control plug-ins loaded by name from real libraries.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "orvo2/loading/library_loader.h"
#include "orvo2/loading/plugin_loader.h"

namespace {

Orvo::ControlPlugin::Args args_for(const std::string& plugin) {
  Orvo::ControlPlugin::Args args;
  args.task_name = "loader_task";
  args.plugin_name = plugin;
  args.thread_name = "loader_thread";
  args.params["gain"] = 0.5;
  return args;
}

std::string load_error(const std::string& plugin) {
  try {
    Orvo::load_control_plugin(args_for(plugin));
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no error";
}

TEST(PluginLoader, MakesThePluginFromItsArguments) {
  const auto plugin = Orvo::load_control_plugin(args_for("test_plugin"));
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->getName(), "loader_task");
  EXPECT_EQ(plugin->getPluginName(), "test_plugin");
  EXPECT_EQ(plugin->getType(), "test_plugin");
  EXPECT_EQ(plugin->getThreadName(), "loader_thread");
  EXPECT_EQ(std::get<double>(plugin->getPluginParams().at("gain")), 0.5);
  EXPECT_EQ(plugin->getState(), Orvo::Runnable::Uninitialized);
}

TEST(PluginLoader, RefusalsNameThePluginTaskAndLibrary) {
  const std::string missing = load_error("no_such_plugin");
  EXPECT_NE(missing.find("unable to load plug-in 'no_such_plugin' for task 'loader_task'"), std::string::npos)
      << missing;
  EXPECT_NE(missing.find("liborvoctrl_no_such_plugin.so"), std::string::npos) << missing;
  for (const std::string& folder : Orvo::SharedLibrary::search_path()) {
    EXPECT_NE(missing.find(folder), std::string::npos) << missing;
  }

  const std::string no_create = load_error("test_no_create");
  EXPECT_NE(no_create.find("has no entry point 'orvo2_create_plugin_test_no_create'"), std::string::npos)
      << no_create;
  EXPECT_NE(no_create.find("liborvoctrl_test_no_create.so"), std::string::npos) << no_create;

  const std::string wrong_abi = load_error("test_wrong_abi");
  EXPECT_NE(wrong_abi.find("reports interface version 1.4.0"), std::string::npos) << wrong_abi;

  const std::string escape = load_error("../lib/x");
  EXPECT_NE(escape.find("invalid plug-in name"), std::string::npos) << escape;

  auto throwing = args_for("test_plugin");
  throwing.params["throw_in_constructor"] = true;
  try {
    Orvo::load_control_plugin(throwing);
    ADD_FAILURE() << "the plug-in's constructor threw nothing";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("for task 'loader_task': test plug-in refused to be built"),
              std::string::npos)
        << error.what();
  }
}

}  // namespace
