#pragma once
// Where the launcher finds its configuration when --config is not given.

#include <string>

namespace Orvo {
namespace Utils {

// Main thread, set-up. The first line (at most 299 characters of it) of the
// file that the environment variable ORVO_CONFIG names; empty when the
// variable is unset (with a warning) or the file cannot be read.
std::string getOrvoConfig();

}  // namespace Utils
}  // namespace Orvo
