#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "memory_hooks.h"
#include "framework/typed/service.h"
#include "orvo2/context/journal.h"
#include "orvo2/tasks/callback_queue.h"
#include "server_thread.h"

namespace {

using namespace std::chrono_literals;
using Orvo::test::ServerThread;

std::string unique_name(const std::string& base) { return "/svc_test_" + std::to_string(getpid()) + "/" + base; }

Orvo::ServiceManager& services() { return Orvo::Context().serviceManager(); }

TEST(ServiceCall, DirectCallRunsTheHandlerInTheCallersThread) {
  const std::string name = unique_name("direct");
  Orvo::CallbackQueue never_drained;
  std::thread::id ran_in;
  auto server = services().advertiseService<double, bool>(
      name,
      [&ran_in](const double& request, bool& response) {
        ran_in = std::this_thread::get_id();
        response = request > 0;
        return request > -10;
      },
      &never_drained);
  auto client = services().serviceClient<double, bool>(name);

  bool response = false;
  EXPECT_TRUE(client->call(1.0, response, 1ms));
  EXPECT_TRUE(response);
  EXPECT_EQ(ran_in, std::this_thread::get_id());
  // The handler's own false comes back, without waiting for the queue.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->call(-20.0, response, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(response);
}

TEST(ServiceCall, RemoteCallReturnsTrueOnceServedAndCarriesTheResponse) {
  const std::string name = unique_name("remote");
  std::shared_ptr<Orvo::ServiceServer<unsigned, std::string>> server;
  std::atomic<std::thread::id> ran_in{};
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<unsigned, std::string>(
        name,
        [&ran_in](const unsigned& request, std::string& response) {
          ran_in = std::this_thread::get_id();
          response = "answer " + std::to_string(request);
          return false;
        },
        &queue);
  });
  ASSERT_TRUE(thread.ready());
  auto client = services().serviceClient<unsigned, std::string>(name);

  std::string response = "untouched";
  EXPECT_TRUE(client->call(7u, response, 5s));
  EXPECT_EQ(response, "answer 7");
  EXPECT_NE(ran_in.load(), std::this_thread::get_id());
}

TEST(ServiceCall, TimeOutLeavesTheServiceIdleForTheNextCall) {
  const std::string name = unique_name("timeout");
  std::shared_ptr<Orvo::ServiceServer<int, int>> server;
  std::atomic<int> handled{0};
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<int, int>(
        name,
        [&handled](const int& request, int& response) {
          ++handled;
          response = request * 2;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(thread.ready());
  auto client = services().serviceClient<int, int>(name);
  Orvo::JournalCapture journal;

  thread.set_draining(false);
  int response = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->call(1, response, 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_EQ(response, -1);
  EXPECT_EQ(journal.count("[operator()] timeout for '" + name + "' exceeded \n"), 1);

  // The abandoned request is never served once the server drains again.
  thread.set_draining(true);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(handled.load(), 0);
  EXPECT_TRUE(client->call(21, response, 5s));
  EXPECT_EQ(response, 42);
  EXPECT_EQ(handled.load(), 1);
}

TEST(ServiceCall, HandlerThrowingInTheServerThreadFailsOnlyThatCall) {
  const std::string name = unique_name("throwing");
  std::shared_ptr<Orvo::ServiceServer<int, int>> server;
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<int, int>(
        name,
        [](const int& request, int& response) {
          if (request < 0) {
            throw std::domain_error("negative request");
          }
          response = request;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(thread.ready());
  auto client = services().serviceClient<int, int>(name);
  Orvo::JournalCapture journal;

  int response = 0;
  EXPECT_FALSE(client->call(-1, response, 100ms));
  EXPECT_EQ(journal.count("[serve] service handler for '" + name + "' threw: negative request \n"), 1);
  EXPECT_TRUE(client->call(3, response, 5s));
  EXPECT_EQ(response, 3);
}

// The server thread also proves that serving allocates nothing.
TEST(ServiceCall, ConcurrentClientsAreServedInTurnWithoutServerAllocations) {
  const std::string name = unique_name("two_clients");
  std::shared_ptr<Orvo::ServiceServer<int, int>> server;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::atomic<size_t> server_allocations{0};
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<int, int>(
        name,
        [&](const int& request, int& response) {
          overlapped = overlapped || inside.fetch_add(1) != 0;
          response = -request;
          inside.fetch_sub(1);
          return true;
        },
        &queue);
    // From here on the thread only drains its queue.
    orvo2_set_malloc_hook([&server_allocations](size_t) { server_allocations.fetch_add(1); });
  });
  ASSERT_TRUE(thread.ready());

  constexpr int calls = 300;
  std::atomic<int> wrong{0};
  auto caller = [&](int base) {
    auto client = services().serviceClient<int, int>(name);
    for (int i = 0; i < calls; ++i) {
      int response = 0;
      if (!client->call(base + i, response, 5s) || response != -(base + i)) {
        ++wrong;
      }
    }
  };
  std::thread first(caller, 1000);
  std::thread second(caller, 100000);
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(overlapped.load());
  EXPECT_EQ(server_allocations.load(), 0u);
}

TEST(ServiceCall, HandlerCallingItsOwnServiceDirectlyIsRefused) {
  const std::string name = unique_name("self_call");
  std::shared_ptr<Orvo::ServiceClient<int, int>> client;
  auto server = services().advertiseService<int, int>(
      name,
      [&client](const int& request, int& response) {
        if (request > 0) {
          return client->call(request - 1, response, 100ms);
        }
        response = 1;
        return true;
      },
      nullptr);
  client = services().serviceClient<int, int>(name);

  int response = 0;
  try {
    client->call(1, response, 100ms);
    ADD_FAILURE() << "the nested call did not throw";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), std::string("error acquiring the mutex: ") + std::strerror(EDEADLK));
  }
  // Both mutexes were released on the way out.
  EXPECT_TRUE(client->call(0, response, 100ms));
  EXPECT_EQ(response, 1);
}

// Without the refusal the server thread deadlocks with the waiting client.
TEST(ServiceCall, HandlerCallingItsOwnServiceWhileServingARemoteCallIsRefused) {
  const std::string name = unique_name("self_call_remote");
  auto client = services().serviceClient<int, int>(name);
  std::shared_ptr<Orvo::ServiceServer<int, int>> server;
  std::atomic<int> inner_calls{0};
  std::atomic<bool> inner_result{true};
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<int, int>(
        name,
        [&](const int& request, int& response) {
          if (request > 0) {
            int inner = 0;
            inner_result = client->call(request - 1, inner, 200ms);
            ++inner_calls;
          }
          response = request + 1;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(thread.ready());
  Orvo::JournalCapture journal;

  int response = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(client->call(1, response, 200ms));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_EQ(response, 2);
  EXPECT_EQ(inner_calls.load(), 1);
  EXPECT_FALSE(inner_result.load());
  EXPECT_EQ(journal.count("[operator()] service '" + name +
                          "' called by its own handler while serving another thread's call \n"),
            1);
  // The server thread still drains.
  EXPECT_TRUE(client->call(0, response, 200ms));
  EXPECT_EQ(response, 1);
}

// Two servers calling each other from their handlers while a third thread
// waits would be stuck for good: a handler's call is refused at once.
TEST(ServiceCall, HandlerCallingAnotherServiceIsRefusedAtOnce) {
  const std::string outer_name = unique_name("outer");
  const std::string inner_name = unique_name("inner");
  auto inner_client = services().serviceClient<int, int>(inner_name);
  std::atomic<int> inner_handled{0};
  std::atomic<bool> inner_result{true};
  std::atomic<int64_t> inner_us{-1};
  std::shared_ptr<Orvo::ServiceServer<int, int>> inner_server;
  std::shared_ptr<Orvo::ServiceServer<int, int>> outer_server;
  ServerThread inner_thread([&](Orvo::CallbackQueue& queue) {
    inner_server = services().advertiseService<int, int>(
        inner_name, [&](const int&, int&) { return ++inner_handled > 0; }, &queue);
  });
  ServerThread outer_thread([&](Orvo::CallbackQueue& queue) {
    outer_server = services().advertiseService<int, int>(
        outer_name,
        [&](const int& request, int& response) {
          const auto start = std::chrono::steady_clock::now();
          int inner = 0;
          inner_result = inner_client->call(request, inner, 1s);
          inner_us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                         .count();
          response = request + 1;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(inner_thread.ready() && outer_thread.ready());
  auto outer_client = services().serviceClient<int, int>(outer_name);
  Orvo::JournalCapture journal;

  int response = 0;
  EXPECT_TRUE(outer_client->call(1, response, 5s));
  EXPECT_EQ(response, 2);
  EXPECT_FALSE(inner_result.load());
  EXPECT_EQ(inner_handled.load(), 0);
  EXPECT_LT(inner_us.load(), 100000);
  EXPECT_EQ(journal.count("[operator()] service '" + inner_name + "' called from inside the handler of service '" +
                          outer_name + "': refused, a handler never waits on a service \n"),
            1);
}

// The server runs the handler without the hand-shake lock, so the client
// returns at its deadline; the answer it gave up is not handed to the next.
TEST(ServiceCall, ClientGivesUpAtItsDeadlineWhileTheHandlerStillRuns) {
  const std::string name = unique_name("slow_handler");
  std::shared_ptr<Orvo::ServiceServer<int, int>> server;
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<int, int>(
        name,
        [](const int& request, int& response) {
          if (request == 1) {
            std::this_thread::sleep_for(300ms);
          }
          response = request * 2;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(thread.ready());
  auto client = services().serviceClient<int, int>(name);

  int response = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->call(1, response, 50ms));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms);
  EXPECT_EQ(response, -1);
  EXPECT_TRUE(client->call(2, response, 5s));
  EXPECT_EQ(response, 4);
}

TEST(ServiceCall, CallAnyWaitsOneSecondAndChecksTheRequestType) {
  const std::string name = unique_name("call_any");
  std::shared_ptr<Orvo::ServiceServer<double, bool>> server;
  ServerThread thread([&](Orvo::CallbackQueue& queue) {
    server = services().advertiseService<double, bool>(
        name,
        [](const double& request, bool& response) {
          response = request > 0;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(thread.ready());
  std::shared_ptr<Orvo::ServiceClientBase> client = services().serviceClient<double, bool>(name);
  EXPECT_EQ(client->request_type(), typeid(double));

  boost::any response = std::string("replaced");
  EXPECT_TRUE(client->call_any(boost::any(2.5), response));
  EXPECT_TRUE(boost::any_cast<bool>(response));

  EXPECT_THROW(client->call_any(boost::any(std::string("2.5")), response), boost::bad_any_cast);

  thread.set_draining(false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->call_any(boost::any(1.0), response));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 1s);
  EXPECT_LT(waited, 3s);
}

}  // namespace
