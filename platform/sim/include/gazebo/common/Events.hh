#pragma once
// The world's events.

#include "gazebo/common/Event.hh"
#include "gazebo/common/UpdateInfo.hh"

namespace gazebo {
namespace event {

class Events {
public:
  // Fired by the world at the start of every step, before the dynamics.
  static EventT<void(const common::UpdateInfo&)> worldUpdateBegin;

  // World thread or set-up; allocates. Registers a callback for worldUpdateBegin.
  template <typename T>
  static ConnectionPtr ConnectWorldUpdateBegin(T subscriber) {
    return worldUpdateBegin.Connect(subscriber);
  }
};

}  // namespace event
}  // namespace gazebo
