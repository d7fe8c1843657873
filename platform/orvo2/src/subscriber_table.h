#pragma once
// The delivery queues of a topic's subscribers, read by publishers without a
// lock. Two copies of the list: readers enter the active one with a counter;
// a writer edits the idle copy, switches, waits for the readers of the old
// copy to leave and edits that one too. Readers never wait on a writer.

#include <atomic>
#include <vector>

namespace Orvo {
namespace internal {

class DeliveryQueue;

class SubscriberTable {
public:
  // Publisher threads; never blocks, never allocates.
  class Reader {
  public:
    explicit Reader(SubscriberTable& table);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    const std::vector<DeliveryQueue*>& queues() const { return _table._sides[_side]; }

  private:
    SubscriberTable& _table;
    int _side;
  };

  // Set-up only (allocates, may wait for publishers to leave the list);
  // callers serialise writers. After remove() returns no publisher sees
  // the queue any more.
  void add(DeliveryQueue* queue);
  void remove(DeliveryQueue* queue);

private:
  template <typename Edit>
  void write(Edit edit);

  std::vector<DeliveryQueue*> _sides[2];
  std::atomic<int> _active{0};
  std::atomic<int> _readers[2] = {{0}, {0}};
};

}  // namespace internal
}  // namespace Orvo
