// Fuzz target: the joint master's command limits from a URDF. The input is
// the text of a URDF (the parameter "/robot_description"); it is parsed as the
// joint master parses it, and every joint's limits are filled from it at two
// scalings, as the service "joint_master/set_limits_from_urdf" does, then a
// command at rest and a small step are checked against them. No URDF may
// crash this or reach undefined behaviour (e.g. a number out of a float's
// range).
//
// Text that is not valid UTF-8 is skipped: the XML parser under urdfdom
// (tinyxml 2.6.2) reads past the end of its buffer when the text ends in an
// incomplete multi-byte sequence, which is a fault of that library, not of
// the code under test (see docs/robustness.md).

#include <cstddef>
#include <cstdint>
#include <string>

#include <urdf_parser/urdf_parser.h>

#include "joint_command_limits.h"
#include "orvo2/context/journal.h"

namespace {

bool valid_utf8(const std::uint8_t* text, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t lead = text[i];
    const std::size_t length =
        lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > size) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if ((text[i + k] >> 6) != 0x2) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    Orvo::Journal::SetGlobalJournalLevel(3);
    return true;
  }();
  (void)quiet;
  if (!valid_utf8(data, size)) {
    return 0;
  }
  const urdf::ModelInterfaceSharedPtr model =
      urdf::parseURDF(std::string(reinterpret_cast<const char*>(data), size));
  if (!model) {
    return 0;
  }
  for (const auto& entry : model->joints_) {
    for (double scaling : {1.0, 0.5}) {
      Orvo::Hal::joint_tx_limits limits;
      Orvo::Hal::set_default_limits(limits);
      Orvo::Hal::set_urdf_limits(limits, entry.second, scaling);
      Orvo::Hal::joint_tx at_rest;
      at_rest.mask = Orvo::Hal::joint_tx::POS_REF | Orvo::Hal::joint_tx::VEL_REF | Orvo::Hal::joint_tx::TOR_REF;
      limits.check_tx(at_rest);
      Orvo::Hal::joint_tx step;
      step.pos_ref = 0.001f;
      step.mask = Orvo::Hal::joint_tx::POS_REF;
      limits.check_delta_tx(step);
    }
  }
  return 0;
}
