#pragma once
// The process's registry of topics by full name. Creating topics, publishers
// and subscribers is serialised by its mutex; publishing and receiving never
// touch it. The typed members are defined in framework/typed/topic.h.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/primitives/condition_variable.h"
#include "framework/primitives/mutex.h"

namespace Orvo {

class CallbackQueue;
class Topic;
template <typename T>
class Publisher;
template <typename T>
class Subscriber;

class TopicManager {
public:
  // The process's registry comes from Context::topicManager(); tests may make their own.
  TopicManager();
  ~TopicManager();
  TopicManager(const TopicManager&) = delete;
  TopicManager& operator=(const TopicManager&) = delete;

  // Called with the registry mutex held. The topic of that name, made when
  // there is none; null (and a line printed) when its type is not T.
  template <typename T>
  std::shared_ptr<Topic> find_or_make_topic(const std::string& name);

  // Set-up only: lock the registry, allocate. A null handle when the name
  // belongs to a topic of another type.
  template <typename T>
  std::shared_ptr<Publisher<T>> advertise(std::string name, T prototype, std::string owner);
  template <typename T>
  std::shared_ptr<Subscriber<T>> subscribe(std::string name, std::function<void(const T&)> callback,
                                           CallbackQueue* queue, int queue_size, std::string owner);
  template <typename T, typename Obj>
  std::shared_ptr<Subscriber<T>> subscribe(std::string name, void (Obj::*method)(const T&), Obj* obj,
                                           CallbackQueue* queue, int queue_size, std::string owner);

  // Any thread; locks the registry. The topic of that name or null.
  std::shared_ptr<Topic> get_topic(const std::string& name);
  std::vector<std::string> topic_names();
  // Any non-real-time thread; blocks up to `timeout` until the topic has a
  // publisher. True when it has one.
  bool wait_for_publisher(const std::string& name, std::chrono::nanoseconds timeout);

private:
  mutex _mutex;
  condition_variable _cond;
  std::map<std::string, std::shared_ptr<Topic>> _topics;
};

}  // namespace Orvo
