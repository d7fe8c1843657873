#include "robot_monitor.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "commander/commanded_path.h"

namespace OrvoTest {

namespace {
// Joint states come in single precision (7e-8 near 1 rad); one step of the
// path is 40 times this.
constexpr double kTolerance = 1e-6;
}  // namespace

RobotMonitor::RobotMonitor(std::string thread, std::vector<std::pair<std::string, int>> joint_ids)
    : _thread(std::move(thread)), _joint_ids(std::move(joint_ids)) {
  _figures.periods.reserve(1 << 16);
  _node = std::make_unique<ros::NodeHandle>();
  _node->setCallbackQueue(&_queue);
  _statistics_sub = _node->subscribe("/orvocore/statistics", 100, &RobotMonitor::on_statistics, this);
  _joint_state_sub = _node->subscribe("/orvocore/joint_states", 1000, &RobotMonitor::on_joint_state, this);
  _spinner = std::make_unique<ros::AsyncSpinner>(1, &_queue);
  _spinner->start();
}

RobotMonitor::~RobotMonitor() {
  _spinner->stop();
  _statistics_sub.shutdown();
  _joint_state_sub.shutdown();
}

RobotFigures RobotMonitor::figures() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _figures;
}

void RobotMonitor::reset() {
  std::lock_guard<std::mutex> lock(_mutex);
  _figures = RobotFigures{};
  _figures.periods.reserve(1 << 16);
}

void RobotMonitor::on_statistics(const orvo_msgs::Statistics& msg) {
  std::lock_guard<std::mutex> lock(_mutex);
  ++_figures.statistics;
  for (const auto& thread : msg.thread_stats) {
    if (thread.name == _thread) {
      _figures.periods.push_back(thread.period);
      _figures.overruns += thread.state == "1" ? 1 : 0;
    }
  }
}

void RobotMonitor::on_joint_state(const orvo_msgs::JointState& msg) {
  const std::string problem = check(msg);
  std::lock_guard<std::mutex> lock(_mutex);
  ++_figures.joint_states;
  _figures.peak_effort.resize(_joint_ids.size(), 0.0f);
  for (size_t i = 0; i < msg.effort.size() && i < _joint_ids.size(); ++i) {
    _figures.peak_effort[i] = std::max(_figures.peak_effort[i], msg.effort[i]);
  }
  if (!problem.empty() && _figures.broken_joint_states++ == 0) {
    _figures.first_broken = problem;
  }
}

std::string RobotMonitor::check(const orvo_msgs::JointState& msg) const {
  const size_t n = msg.name.size();
  std::ostringstream problem;
  if (n != _joint_ids.size() || msg.link_position.size() != n || msg.position_reference.size() != n ||
      msg.motor_position.size() != n || msg.effort.size() != n) {
    problem << "array sizes differ: " << n << " names, " << msg.link_position.size()
            << " positions, " << msg.position_reference.size() << " references";
    return problem.str();
  }
  double common_phase = 0.0;
  for (size_t i = 0; i < n; ++i) {
    if (msg.name[i] != _joint_ids[i].first) {
      problem << "joint " << i << " is '" << msg.name[i] << "', expected '" << _joint_ids[i].first << "'";
      return problem.str();
    }
    if (msg.link_position[i] != msg.position_reference[i]) {
      problem << msg.name[i] << ": position " << msg.link_position[i] << " but reference "
              << msg.position_reference[i];
      return problem.str();
    }
    const double phase = msg.link_position[i] - joint_offset(_joint_ids[i].second);
    if (i == 0) {
      common_phase = phase;
    }
    if (std::abs(phase - common_phase) > kTolerance || std::abs(phase) > kPathAmplitude + kTolerance) {
      problem << msg.name[i] << " at " << msg.link_position[i] << " is off the path (phase " << phase
              << ", joint 0's phase " << common_phase << ")";
      return problem.str();
    }
  }
  return {};
}

}  // namespace OrvoTest
