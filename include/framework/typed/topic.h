#pragma once
// Typed topics: the registry's advertise, subscribe and type check, the
// topic's typed factories and the task forms. All of it is set-up code: it
// allocates and takes the registry mutex; publishing and delivery go through
// Publisher<T> and Subscriber<T>.

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "framework/typed/callback_queue_runnable.h"
#include "framework/typed/message_adapter.h"
#include "framework/typed/publisher.h"
#include "framework/typed/subscriber.h"
#include "orvo2/context/context.h"
#include "orvo2/tasks/task.h"
#include "orvo2/topics/topic.h"
#include "orvo2/topics/topic_manager.h"
#include "orvo2/topics/type_identity.h"
#include "orvo2/type_names/demangle.h"

namespace Orvo {

template <typename T>
std::shared_ptr<Topic> Topic::MakeInstance(std::string name) {
  return std::make_shared<Topic>(std::move(name), typeid(T), MessageAdapter<T>{T()});
}

template <typename T>
std::shared_ptr<Publisher<T>> Topic::make_publisher(T prototype, std::string owner) {
  if (!same_type(getTypeInfo(), typeid(T))) {
    throw TopicBadType();
  }
  struct make_shared_enabler : Publisher<T> {
    explicit make_shared_enabler(PublisherBase&& base) : Publisher<T>(std::move(base)) {}
  };
  const MessageAdapter<T> adapter(std::move(prototype));
  std::shared_ptr<PublisherBase> base = make_publisher_base(adapter, std::move(owner));
  return std::make_shared<make_shared_enabler>(std::move(*base));
}

template <typename T>
std::shared_ptr<Subscriber<T>> Topic::make_subscriber(std::function<void(const T&)> callback,
                                                      CallbackQueue* queue, int queue_size,
                                                      std::string owner) {
  if (!same_type(getTypeInfo(), typeid(T))) {
    throw TopicBadType();
  }
  struct make_shared_enabler : Subscriber<T> {
    explicit make_shared_enabler(SubscriberBase&& base) : Subscriber<T>(std::move(base)) {}
  };
  std::shared_ptr<SubscriberBase> base =
      make_subscriber_base([](const MessageBase&) {}, nullptr, queue_size, std::move(owner));
  std::shared_ptr<Subscriber<T>> subscriber = std::make_shared<make_shared_enabler>(std::move(*base));
  subscriber->setCallback(std::move(callback));
  if (queue != nullptr) {
    queue->addRunnable(subscriber);
  }
  return subscriber;
}

template <typename T>
std::shared_ptr<Topic> TopicManager::find_or_make_topic(const std::string& name) {
  const auto it = _topics.find(name);
  if (it == _topics.end()) {
    std::shared_ptr<Topic> topic = Topic::MakeInstance<T>(name);
    _topics.emplace(name, topic);
    return topic;
  }
  if (!same_type(it->second->getTypeInfo(), typeid(T))) {
    fmt::print("Topic type mismatch for '{}': \n  requested: {} \n  actual:    {} \n", name, demangle<T>(),
               it->second->getTypeName());
    std::fflush(stdout);
    return nullptr;
  }
  return it->second;
}

template <typename T>
std::shared_ptr<Publisher<T>> TopicManager::advertise(std::string name, T prototype, std::string owner) {
  std::lock_guard<mutex> guard(_mutex);
  const std::shared_ptr<Topic> topic = find_or_make_topic<T>(name);
  if (!topic) {
    return nullptr;
  }
  auto publisher = topic->make_publisher<T>(std::move(prototype), std::move(owner));
  _cond.notify_one();
  return publisher;
}

template <typename T>
std::shared_ptr<Subscriber<T>> TopicManager::subscribe(std::string name, std::function<void(const T&)> callback,
                                                       CallbackQueue* queue, int queue_size, std::string owner) {
  std::lock_guard<mutex> guard(_mutex);
  const std::shared_ptr<Topic> topic = find_or_make_topic<T>(name);
  if (!topic) {
    return nullptr;
  }
  return topic->make_subscriber<T>(std::move(callback), queue, queue_size, std::move(owner));
}

template <typename T, typename Obj>
std::shared_ptr<Subscriber<T>> TopicManager::subscribe(std::string name, void (Obj::*method)(const T&), Obj* obj,
                                                       CallbackQueue* queue, int queue_size, std::string owner) {
  std::function<void(const T&)> callback = [obj, method](const T& value) { (obj->*method)(value); };
  return subscribe<T>(std::move(name), std::move(callback), queue, queue_size, std::move(owner));
}

template <typename T>
std::shared_ptr<Publisher<T>> Task::advertise(std::string name, T prototype) {
  return Context().topicManager().advertise<T>(resolveName(name), std::move(prototype), getName());
}

template <typename T>
std::shared_ptr<Subscriber<T>> Task::subscribe(std::string name, std::function<void(const T&)> callback,
                                               int queue_size, CallbackQueue* queue) {
  return Context().topicManager().subscribe<T>(resolveName(name), std::move(callback), queue, queue_size,
                                               getName());
}

template <typename Obj, typename T>
std::shared_ptr<Subscriber<T>> Task::subscribe(std::string name, void (Obj::*method)(const T&), Obj* obj,
                                               int queue_size, CallbackQueue* queue) {
  return Context().topicManager().subscribe<T, Obj>(resolveName(name), method, obj, queue, queue_size,
                                                    getName());
}

}  // namespace Orvo
