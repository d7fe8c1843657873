#pragma once
// The ROS callback queue of the command input. roscpp hands it a
// subscription's callback in the thread that received the message (its
// network thread, or a publisher's thread in this process); the queue runs it
// there and then, so that the message is decoded in that thread, and keeps
// the decoded message: at most `capacity`, the oldest dropped beyond that.
// The plug-in's thread takes the kept messages in arrival order without ever
// waiting (a try-lock) and never lets go of one: a message it took stays in
// its slot until the next receiving thread reuses the slot and releases it,
// so that neither decoding nor the freeing of a message's memory lands in a
// real-time cycle.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include <ros/callback_queue_interface.h>

#include <orvo_msgs/JointCommand.h>

namespace Orvo {

class CommandQueue : public ros::CallbackQueueInterface {
public:
  using Message = orvo_msgs::JointCommand;

  // Set-up; allocates the slots.
  explicit CommandQueue(size_t capacity);

  // roscpp, in the thread that received a message: runs the subscription's
  // callback at once (which decodes the message and calls keep). The
  // subscription must allow concurrent callbacks, as two threads may receive
  // at once.
  void addCallback(const ros::CallbackInterfacePtr& callback, uint64_t owner_id) override;
  // Nothing waits here: every callback ran when it was added.
  void removeByID(uint64_t owner_id) override;

  // The subscription's callback, in a receiving thread: keeps `msg` after
  // the others, dropping the oldest when `capacity` wait already. Releases
  // the messages the plug-in's thread has taken, after letting go of the lock
  // that thread tries. Never allocates.
  void keep(const Message::ConstPtr& msg);

  // The plug-in's thread; never blocks, never allocates, never releases a
  // message. Hands the waiting messages to `apply` (which returns what one
  // cost and must not throw), oldest first, until the costs reach `budget`;
  // the rest wait for the next call. Does nothing when a receiving thread
  // holds the queue at this moment: the messages wait for the next call.
  template <typename Apply>
  void take(size_t budget, Apply&& apply) {
    std::unique_lock<std::mutex> lock(_slots_mutex, std::try_to_lock);
    for (size_t used = 0; lock && used < budget && _taken < _kept; ++_taken) {
      used += apply(slot(_taken));
    }
  }

  // The plug-in's thread, as take: every waiting message is passed over.
  // False, passing over nothing, when a receiving thread holds the queue at
  // this moment.
  bool discard_waiting();

private:
  Message::ConstPtr& slot(uint64_t index) { return _slots[index % _slots.size()]; }

  // Serialises the receiving threads.
  std::mutex _keep_mutex;
  // Guards the slots and counts below; held by the plug-in's thread while it
  // applies what it takes, by a receiving thread only to move pointers.
  std::mutex _slots_mutex;
  std::vector<Message::ConstPtr> _slots;
  // Messages ever kept, taken (or passed over) and released: released <=
  // taken <= kept, and kept - released <= capacity.
  uint64_t _kept = 0;
  uint64_t _taken = 0;
  uint64_t _released = 0;
  // Where a receiving thread moves what it releases, to let go of it after
  // the slots' lock; guarded by _keep_mutex.
  std::vector<Message::ConstPtr> _releasing;
};

}  // namespace Orvo
