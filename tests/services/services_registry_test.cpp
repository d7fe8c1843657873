#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "framework/typed/service.h"
#include "orvo2/context/journal.h"
#include "orvo2/tasks/callback_queue.h"
#include "orvo2/tasks/task.h"

namespace {

using namespace std::chrono_literals;

std::string unique_name(const std::string& base) { return "/svc_test_" + std::to_string(getpid()) + "/" + base; }

Orvo::ServiceManager& services() { return Orvo::Context().serviceManager(); }

bool negate(const bool& request, bool& response) {
  response = !request;
  return true;
}

template <typename Exception, typename Action>
std::string thrown_text(Action action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.what();
  }
  return "<nothing thrown>";
}

TEST(ServiceRegistry, SecondServerIsRefusedUntilTheFirstIsDropped) {
  const std::string name = unique_name("redefined");
  Orvo::CallbackQueue queue;
  auto first = services().advertiseService<bool, bool>(name, negate, &queue);
  ASSERT_EQ(queue.size(), 1u);

  EXPECT_EQ(thrown_text<Orvo::ServiceServerRedefinition>(
                [&] { services().advertiseService<bool, bool>(name, negate, &queue); }),
            "Attempting to advertise service '" + name + "' twice");

  // The queue still holds the first server after its handle is dropped.
  const void* addr = first.get();
  first.reset();
  EXPECT_THROW((services().advertiseService<bool, bool>(name, negate, nullptr)), Orvo::ServiceServerRedefinition);
  ASSERT_EQ(queue.remove(addr), 1);

  auto second = services().advertiseService<bool, bool>(
      name, [](const bool&, bool& response) { return response = true; }, nullptr);
  auto client = services().serviceClient<bool, bool>(name);
  bool response = false;
  EXPECT_TRUE(client->call(true, response, 10ms));
  EXPECT_TRUE(response);
}

TEST(ServiceRegistry, CallsWithoutServiceOrServerLogAndFail) {
  Orvo::JournalCapture journal;
  bool response = false;

  const std::string gone = unique_name("gone");
  auto service = Orvo::Service<bool, bool>::MakeInstance(gone);
  auto orphan = service->make_client();
  service.reset();
  EXPECT_FALSE(orphan->call(true, response, 10ms));
  EXPECT_EQ(journal.count("[operator()] service '" + gone + "' is not alive \n"), 1);

  // A client may come before its server.
  const std::string early = unique_name("early");
  auto client = services().serviceClient<bool, bool>(early);
  EXPECT_FALSE(client->call(true, response, 10ms));
  EXPECT_EQ(journal.count("[operator()] service server for '" + early + "' is not alive \n"), 1);
  {
    auto server = services().advertiseService<bool, bool>(early, negate, nullptr);
    EXPECT_TRUE(client->call(true, response, 10ms));
    EXPECT_FALSE(response);
  }
  EXPECT_FALSE(client->call(true, response, 10ms));
  EXPECT_EQ(journal.count("[operator()] service server for '" + early + "' is not alive \n"), 2);
}

TEST(ServiceRegistry, TypeClashesAndInvalidHandlersAreRefused) {
  const std::string name = unique_name("typed");
  auto server = services().advertiseService<unsigned, bool>(
      name, [](const unsigned&, bool&) { return true; }, nullptr);
  Orvo::JournalCapture journal;

  EXPECT_EQ(thrown_text<std::runtime_error>([&] { services().serviceClient<double, bool>(name); }),
            "Type mismatch in service client creation");
  EXPECT_EQ(journal.count("[find_service] service type mismatch for '" + name +
                          "': \n  requested: double -> bool \n  actual:    unsigned int -> bool \n"),
            1);
  EXPECT_EQ(thrown_text<std::logic_error>([&] {
              services().advertiseService<double, bool>(name, [](const double&, bool&) { return true; }, nullptr);
            }),
            "Service'" + name + "' exists with different type");

  const std::string other = unique_name("invalid");
  EXPECT_EQ(thrown_text<std::invalid_argument>(
                [&] { services().advertiseService<bool, bool>(other, nullptr, nullptr); }),
            "Trying to advertise service '" + other + "' with an invalid callback");
  struct Handler {
    bool handle(const bool&, bool&) { return true; }
  };
  EXPECT_THROW((services().advertiseService<bool, bool, Handler>(other, &Handler::handle, nullptr, nullptr)),
               std::invalid_argument);
}

TEST(ServiceRegistry, TaskFormsResolveNamesAndBindMembers) {
  struct Counter {
    int calls = 0;
    bool add(const int& request, int& response) {
      ++calls;
      response = request + calls;
      return true;
    }
  };
  Counter counter;
  const std::string task_name = "svc_task_" + std::to_string(getpid());
  Orvo::Task task(task_name);
  task.setNamespace("robot");
  auto server = task.advertiseService<int, int, Counter>("~add", &Counter::add, &counter, task.getTaskQueue());
  EXPECT_EQ(task.getTaskQueue()->size(), 1u);

  auto client = services().serviceClient<int, int>("/robot/" + task_name + "/add");
  int response = 0;
  EXPECT_TRUE(client->call(10, response, 10ms));
  EXPECT_EQ(response, 11);
  EXPECT_EQ(counter.calls, 1);
  auto task_client = task.serviceClient<int, int>("~add");
  EXPECT_TRUE(task_client->call(10, response, 10ms));
  EXPECT_EQ(response, 12);
}

}  // namespace
