#pragma once
// Pairing of a device's client with its driver when one thread drives both.
// A worker thread opens a DevicePairing while it makes its driver
// containers; every driver and client made meanwhile in that thread (the
// joint master's clients among them) offers itself through its PairingLink.
// pair() then gives each driver and the first client offered for the same
// device and record types one rx and one tx cell, all of the thread's cells
// in one block: the rx cells in the order the drivers were made, then the tx
// cells. The pair exchanges its records through the cells; the device's
// topics stay as they are and carry the records whenever someone else
// publishes or subscribes there (devices/paired_records.h).

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "framework/primitives/device_info.h"

namespace Orvo {
namespace Hal {

class DevicePairing;

// Size, alignment and constructor of the cell of one record type.
struct CellShape {
  size_t size;
  size_t align;
  void (*make)(void* at);
};

// One end of a device as offered for pairing. Set-up thread only.
class PairingLink {
public:
  enum class End { Driver, Client };
  // Given the pair's cells once paired; runs in pair().
  using OnPaired = std::function<void(void* rx_cell, void* tx_cell)>;

  PairingLink() = default;
  // Withdraws an offer still pending; the cells stay while the other end
  // keeps them.
  ~PairingLink();
  PairingLink(const PairingLink&) = delete;
  PairingLink& operator=(const PairingLink&) = delete;

  // Set-up; allocates. Offers this end of `device` to the pairing open in
  // the calling thread; does nothing when none is open.
  void offer(End end, const DeviceInfo& device, const std::type_info& rx_type,
             const std::type_info& tx_type, CellShape rx_cell, CellShape tx_cell,
             OnPaired on_paired);

private:
  friend class DevicePairing;
  DevicePairing* _pending = nullptr;
  // The block of cells, kept by both ends of the pair.
  std::shared_ptr<void> _cells;
};

// The pairing of one thread's set-up. Open in one thread, one at a time per
// thread (an inner one hides the outer one until it closes).
class DevicePairing {
public:
  // Set-up; opens in the calling thread.
  DevicePairing();
  // Closes; ends still offered keep only their topics.
  ~DevicePairing();
  DevicePairing(const DevicePairing&) = delete;
  DevicePairing& operator=(const DevicePairing&) = delete;

  // Set-up; allocates. Pairs the ends offered since the last call and
  // returns how many pairs it made; ends left unpaired keep only their
  // topics. Passes on what an end throws when it is paired.
  size_t pair();

private:
  friend class PairingLink;
  struct Offer {
    PairingLink* link;
    PairingLink::End end;
    std::string type;
    std::string name;
    const std::type_info* rx_type;
    const std::type_info* tx_type;
    CellShape rx_cell;
    CellShape tx_cell;
    PairingLink::OnPaired on_paired;
  };
  void add(Offer offer);
  void withdraw(PairingLink& link);
  void release_offers();

  std::vector<Offer> _offers;
  DevicePairing* _outer;
};

}  // namespace Hal
}  // namespace Orvo
