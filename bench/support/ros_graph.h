#pragma once
// The ROS graph of a benchmark process: a rosmaster of its own on a free
// loopback port, this process's environment pointing at it (read by
// ros::init and by the processes started from then on), a folder for the
// benchmark's files, and the other processes of the graph with their output
// in that folder. The processes are stopped by their ids, then the master,
// when the graph goes.
//
//   OrvoBench::RosGraph graph("comparison_bench");
//   graph.start("peer", {REPORT_PEER, "ros"});
//   ros::init(argc, argv, "bench", ros::init_options::NoSigintHandler);

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "ros_master.h"
#include "temp_dir.h"

namespace OrvoBench {

class RosGraph {
public:
  // Throws std::runtime_error when no master comes up.
  explicit RosGraph(const std::string& tag) : _dir(tag), _master(tag) {}
  RosGraph(const RosGraph&) = delete;
  RosGraph& operator=(const RosGraph&) = delete;

  const OrvoTest::TempDir& dir() const { return _dir; }

  // Starts `argv` (argv[0] is the program's path), its output in
  // "<dir>/<name>.log".
  OrvoTest::ChildProcess& start(const std::string& name, const std::vector<std::string>& argv) {
    _processes.push_back(std::make_unique<OrvoTest::ChildProcess>(argv, _dir.path() + "/" + name + ".log"));
    return *_processes.back();
  }

private:
  OrvoTest::TempDir _dir;
  OrvoTest::RosMaster _master;
  std::vector<std::unique_ptr<OrvoTest::ChildProcess>> _processes;
};

}  // namespace OrvoBench
