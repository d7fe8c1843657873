// Fuzz target: orvosim's world loading. The input is the text of an SDFormat
// world or model; it is loaded as orvosim loads its file (plug-in elements
// are kept but no library is loaded) and a loaded world is stepped a few
// times. Bad input must end in std::runtime_error with a message: never a
// crash, a hang or undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include <gazebo/physics/World.hh>

#include "orvo2/sim/world_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const gazebo::physics::WorldPtr world = Orvo::load_sim_world_from_string(
        std::string(reinterpret_cast<const char*>(data), size), "fuzz.sdf");
    world->Step(20);
  } catch (const std::exception&) {
    // A refused description: the message is what orvosim prints.
  }
  return 0;
}
