#pragma once
// The path along which the steady commander drives the joints: the joint
// with device id i goes to joint_offset(i) + path_phase(s) at step s, once a
// ramp from zero (where the dummy joints start) is over. Every joint shares
// the phase, so one joint state record is intact when all its joints agree on
// it. The commander takes one step per cycle of the joint master, and at most
// two reach the master in one of its cycles: the path moves 40 µrad per step,
// the ramp 220, far from the lowest rate limit (2 mrad per 1 ms cycle).

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace OrvoTest {

constexpr double kPathAmplitude = 0.05;    // rad
constexpr double kPathCycles = 8000.0;     // one period of the path, in steps
constexpr double kRampCycles = 3000.0;     // from zero onto the path, in steps

inline double joint_offset(int id) { return 0.1 * id; }

inline double path_phase(uint64_t step) {
  return kPathAmplitude * std::sin(2.0 * M_PI * static_cast<double>(step) / kPathCycles);
}

inline double commanded_position(int id, uint64_t step) {
  const double ramp = std::min(1.0, static_cast<double>(step) / kRampCycles);
  return ramp * (joint_offset(id) + path_phase(step));
}

}  // namespace OrvoTest
