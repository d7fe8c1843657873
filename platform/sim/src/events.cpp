#include "gazebo/common/Events.hh"

namespace gazebo {
namespace event {

EventT<void(const common::UpdateInfo&)> Events::worldUpdateBegin;

}  // namespace event
}  // namespace gazebo
