#pragma once
// The path along which the steady commander drives the joints: the joint
// with device id i goes to joint_offset(i) + path_phase(c) in cycle c, once a
// ramp from zero (where the dummy joints start) is over. Every joint shares
// the phase, so one joint state record is intact when all its joints agree on
// it. Slow enough that no joint meets its rate limit (2 rad/s) even when a
// thread misses cycles: the path moves 40 µrad per cycle, the ramp 220.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace OrvoTest {

constexpr double kPathAmplitude = 0.05;    // rad
constexpr double kPathCycles = 8000.0;     // one period of the path, in cycles
constexpr double kRampCycles = 3000.0;     // from zero onto the path

inline double joint_offset(int id) { return 0.1 * id; }

inline double path_phase(uint64_t cycle) {
  return kPathAmplitude * std::sin(2.0 * M_PI * static_cast<double>(cycle) / kPathCycles);
}

inline double commanded_position(int id, uint64_t cycle) {
  const double ramp = std::min(1.0, static_cast<double>(cycle) / kRampCycles);
  return ramp * (joint_offset(id) + path_phase(cycle));
}

}  // namespace OrvoTest
