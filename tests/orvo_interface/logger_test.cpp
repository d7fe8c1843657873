#include <gtest/gtest.h>

#include "orvo_interface/logger.h"

namespace {

class LoggerTest : public ::testing::Test {
protected:
  void SetUp() override { _saved = Orvo::Logger::GetVerbosityLevel(); }
  void TearDown() override { Orvo::Logger::SetVerbosityLevel(_saved); }
  int _saved = 0;
};

TEST_F(LoggerTest, PrintsEntriesAtOrAboveTheVerbosityLevel) {
  using Orvo::Logger;
  Logger::SetVerbosityLevel(1);
  testing::internal::CaptureStdout();
  Logger::info(-1) << "hidden " << 1 << Logger::endl;
  Logger::info(1) << "$ORVO_CONFIG" << " -> " << 42 << Logger::endl;
  Logger::warning(0) << "hidden too" << Logger::endl;
  Logger::warning(2) << "WARNING in " << "getOrvoConfig" << Logger::endl << "second entry" << Logger::endl;
  Logger::info(3) << "no endl";  // printed when the stream goes away
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "$ORVO_CONFIG -> 42\nWARNING in getOrvoConfig\nsecond entry\nno endl\n");

  Logger::SetVerbosityLevel(-1);
  testing::internal::CaptureStdout();
  Logger::info(-1) << "debug" << Logger::endl;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "debug\n");
}

}  // namespace
