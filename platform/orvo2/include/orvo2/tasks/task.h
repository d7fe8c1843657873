#pragma once
// A named unit of work with its own name space and callback queue. Names
// given to a task resolve as follows:
//   "/x"  absolute, unchanged;
//   "~x"  private to the task: "<ns>/<task>/x";
//   "x"   under the task's namespace: "<ns>/x" ("/x" when it has none).
// The typed parameter, topic and service members are defined with the
// templates they forward to (framework/typed/parameter.h, topic.h, service.h).

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Orvo {

class CallbackQueue;
template <typename T>
class Publisher;
template <typename T>
class Subscriber;
template <typename Req, typename Res>
class ServiceServer;
template <typename Req, typename Res>
class ServiceClient;

class Task {
public:
  // `remappings` maps names as written to the names used instead (applied
  // before resolution). A privileged task may work in the "orvo_internal"
  // namespace.
  explicit Task(std::string name, std::string type = "",
                std::map<std::string, std::string> remappings = {}, bool privileged = false);
  virtual ~Task();
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  const std::string& getName() const { return _name; }
  const std::string& getType() const { return _type; }

  // Any thread; allocates (set-up only).
  std::string resolveName(const std::string& name) const;

  // Set-up only. Throws std::runtime_error when an unprivileged task asks for
  // the "orvo_internal" namespace.
  void setNamespace(const std::string& ns);
  const std::string& getNamespace() const { return _namespace; }
  void setPrivilegedMode(bool privileged) { _privileged = privileged; }
  bool isPrivileged() const { return _privileged; }

  // The queue the task's own thread drains (service servers, subscribers).
  CallbackQueue* getTaskQueue() const { return _queue.get(); }

  // Parameters (names resolved first).
  template <typename T>
  bool getParam(const std::string& name, T& out) const;
  template <typename T>
  T getParamOr(const std::string& name, const T& fallback) const;
  template <typename T>
  T getParamOrThrow(const std::string& name) const;
  template <typename T, typename... Args>
  bool emplaceParam(const std::string& name, Args&&... args);

  // Topics; the task's name is the owner. Note the queue size before the queue.
  template <typename T>
  std::shared_ptr<Publisher<T>> advertise(std::string name, T prototype);
  template <typename T>
  std::shared_ptr<Subscriber<T>> subscribe(std::string name, std::function<void(const T&)> callback,
                                           int queue_size, CallbackQueue* queue);
  template <typename Obj, typename T>
  std::shared_ptr<Subscriber<T>> subscribe(std::string name, void (Obj::*method)(const T&), Obj* obj,
                                           int queue_size, CallbackQueue* queue);

  // Services.
  template <typename Req, typename Res, typename Obj>
  std::shared_ptr<ServiceServer<Req, Res>> advertiseService(std::string name,
                                                            bool (Obj::*method)(const Req&, Res&),
                                                            Obj* obj, CallbackQueue* queue);
  template <typename Req, typename Res>
  std::shared_ptr<ServiceClient<Req, Res>> serviceClient(std::string name);

private:
  std::string _name;
  std::string _type;
  std::map<std::string, std::string> _remappings;
  bool _privileged;
  std::string _namespace;
  std::unique_ptr<CallbackQueue> _queue;
};

}  // namespace Orvo
