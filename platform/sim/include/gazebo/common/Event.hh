#pragma once
// A typed event and the connections that keep its callbacks registered.
//
// Threading: Connect, Signal and the release of a connection happen on the
// thread that steps the world (or while it does not step); the event takes no
// lock. A callback may release connections, its own included, and connect new
// ones while the event fires: removals and additions take effect after the
// current firing. Signal allocates only when connections were added or removed
// since the last firing, and catches what a callback throws (reported on gzerr)
// so that one failing callback never stops the others or the world.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "gazebo/common/Console.hh"

namespace gazebo {
namespace event {

// Holding a connection keeps its callback registered; releasing the last
// reference unregisters it.
class Connection {
public:
  explicit Connection(std::function<void()> release) : release_(std::move(release)) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (release_) release_();
  }

private:
  std::function<void()> release_;
};

using ConnectionPtr = std::shared_ptr<Connection>;

template <typename Signature>
class EventT;

template <typename... Args>
class EventT<void(Args...)> {
public:
  using Callback = std::function<void(Args...)>;

  EventT() : slots_(std::make_shared<Slots>()) {}
  EventT(const EventT&) = delete;
  EventT& operator=(const EventT&) = delete;

  // World thread or set-up; allocates. The callback stays registered while the
  // returned connection is held.
  ConnectionPtr Connect(const Callback& callback) {
    Slots& s = *slots_;
    const uint64_t id = s.next_id++;
    (s.firing ? s.added : s.active).push_back(Slot{id, callback});
    std::weak_ptr<Slots> weak = slots_;
    return std::make_shared<Connection>([weak, id]() {
      if (auto locked = weak.lock()) locked->remove(id);
    });
  }

  // World thread; calls every registered callback in connection order.
  void Signal(Args... args) {
    Slots& s = *slots_;
    s.firing = true;
    for (std::size_t i = 0; i < s.active.size(); ++i) {
      if (s.active[i].id == 0) continue;
      try {
        s.active[i].callback(args...);
      } catch (const std::exception& e) {
        gzerr << "event callback failed: " << e.what() << "\n";
      } catch (...) {
        gzerr << "event callback failed with an unknown exception\n";
      }
    }
    s.firing = false;
    s.settle();
  }

  void operator()(Args... args) { Signal(args...); }

  // Any time on the world thread; the number of registered callbacks.
  unsigned int ConnectionCount() const {
    unsigned int n = 0;
    for (const Slot& slot : slots_->active) n += slot.id != 0;
    return n + static_cast<unsigned int>(slots_->added.size());
  }

private:
  struct Slot {
    uint64_t id;  // 0: released, removed after the current firing
    Callback callback;
  };
  struct Slots {
    std::vector<Slot> active;
    std::vector<Slot> added;  // connected while firing
    bool firing = false;
    bool released = false;
    uint64_t next_id = 1;

    void remove(uint64_t id) {
      for (auto* list : {&active, &added}) {
        for (Slot& slot : *list) {
          if (slot.id != id) continue;
          slot.id = 0;
          released = true;
        }
      }
      if (!firing) settle();
    }
    void settle() {
      if (released) {
        for (auto* list : {&active, &added}) {
          std::vector<Slot> kept;
          for (Slot& slot : *list)
            if (slot.id != 0) kept.push_back(std::move(slot));
          list->swap(kept);
        }
        released = false;
      }
      for (Slot& slot : added) active.push_back(std::move(slot));
      added.clear();
    }
  };

  std::shared_ptr<Slots> slots_;
};

}  // namespace event
}  // namespace gazebo
