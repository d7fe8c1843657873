#pragma once
// A command-line tool (the ROS tools) run through the shell with a time bound.

#include <array>
#include <cstdio>
#include <string>

namespace OrvoTest {

// Runs `command` for at most `seconds`; its standard output and error.
inline std::string run_tool(const std::string& command, int seconds = 20) {
  const std::string bounded = "timeout " + std::to_string(seconds) + " " + command + " 2>&1";
  FILE* pipe = ::popen(bounded.c_str(), "r");
  if (pipe == nullptr) {
    return "popen failed for: " + bounded;
  }
  std::string out;
  std::array<char, 4096> buffer{};
  size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    out.append(buffer.data(), read);
  }
  ::pclose(pipe);
  return out;
}

}  // namespace OrvoTest
