#include "devices/device_pairing.h"

#include <cstring>
#include <new>
#include <utility>

namespace Orvo {
namespace Hal {
namespace {

// The pairing open in this thread, if any.
thread_local DevicePairing* open_pairing = nullptr;

// The cells of a thread start on a cache line of their own.
constexpr size_t kBlockAlign = 64;

size_t aligned(size_t offset, size_t align) { return (offset + align - 1) / align * align; }

std::shared_ptr<void> make_block(size_t size) {
  void* block = ::operator new(size, std::align_val_t{kBlockAlign});
  std::memset(block, 0, size);
  return std::shared_ptr<void>(block, [](void* p) { ::operator delete(p, std::align_val_t{kBlockAlign}); });
}

}  // namespace

PairingLink::~PairingLink() {
  if (_pending != nullptr) {
    _pending->withdraw(*this);
  }
}

void PairingLink::offer(End end, const DeviceInfo& device, const std::type_info& rx_type,
                        const std::type_info& tx_type, CellShape rx_cell, CellShape tx_cell,
                        OnPaired on_paired) {
  if (open_pairing == nullptr || _pending != nullptr) {
    return;
  }
  open_pairing->add(DevicePairing::Offer{this, end, device.type, device.name, &rx_type, &tx_type, rx_cell,
                                         tx_cell, std::move(on_paired)});
  _pending = open_pairing;
}

DevicePairing::DevicePairing() : _outer(open_pairing) { open_pairing = this; }

DevicePairing::~DevicePairing() {
  release_offers();
  open_pairing = _outer;
}

void DevicePairing::add(Offer offer) { _offers.push_back(std::move(offer)); }

void DevicePairing::withdraw(PairingLink& link) {
  for (auto it = _offers.begin(); it != _offers.end(); ++it) {
    if (it->link == &link) {
      _offers.erase(it);
      break;
    }
  }
  link._pending = nullptr;
}

void DevicePairing::release_offers() {
  for (Offer& offer : _offers) {
    offer.link->_pending = nullptr;
  }
  _offers.clear();
}

size_t DevicePairing::pair() {
  // Each driver, in the order offered, with the first client of the same
  // device and records not yet taken.
  std::vector<std::pair<Offer*, Offer*>> pairs;
  std::vector<bool> taken(_offers.size(), false);
  for (size_t d = 0; d < _offers.size(); ++d) {
    const Offer& driver = _offers[d];
    if (driver.end != PairingLink::End::Driver) {
      continue;
    }
    for (size_t c = 0; c < _offers.size(); ++c) {
      const Offer& client = _offers[c];
      if (!taken[c] && client.end == PairingLink::End::Client && client.type == driver.type &&
          client.name == driver.name && *client.rx_type == *driver.rx_type &&
          *client.tx_type == *driver.tx_type) {
        taken[c] = true;
        pairs.emplace_back(&_offers[d], &_offers[c]);
        break;
      }
    }
  }
  if (!pairs.empty()) {
    // The rx cells in the drivers' order, then the tx cells: the cycle walks
    // the first run while it senses and the second while it moves.
    std::vector<size_t> rx_at;
    std::vector<size_t> tx_at;
    size_t size = 0;
    for (const auto& p : pairs) {
      size = aligned(size, p.first->rx_cell.align);
      rx_at.push_back(size);
      size += p.first->rx_cell.size;
    }
    for (const auto& p : pairs) {
      size = aligned(size, p.first->tx_cell.align);
      tx_at.push_back(size);
      size += p.first->tx_cell.size;
    }
    std::shared_ptr<void> block = make_block(size);
    unsigned char* base = static_cast<unsigned char*>(block.get());
    for (size_t i = 0; i < pairs.size(); ++i) {
      pairs[i].first->rx_cell.make(base + rx_at[i]);
      pairs[i].first->tx_cell.make(base + tx_at[i]);
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
      for (Offer* end : {pairs[i].first, pairs[i].second}) {
        end->link->_cells = block;
        end->on_paired(base + rx_at[i], base + tx_at[i]);
      }
    }
  }
  release_offers();
  return pairs.size();
}

}  // namespace Hal
}  // namespace Orvo
