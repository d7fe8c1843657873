// Registry algorithms: creation, reading, type clashes and their journal entries.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/typed/parameter.h"
#include "orvo2/context/journal.h"

namespace Orvo {
namespace {

std::string unique(const std::string& name) {
  return "/params_test_" + std::to_string(getpid()) + "/" + name;
}

std::string created_text(const std::string& name, const std::string& type) {
  return "parameter '" + name + "' with type '" + type + "' was created \n";
}

std::string mismatch_text(const std::string& name, const std::string& requested,
                          const std::string& actual) {
  return "parameter type mismatch for '" + name + "': requested '" + requested + "', actual '" +
         actual + "' \n";
}

TEST(ParameterManager, AbsentNameGivesFallbackSilently) {
  JournalCapture journal;
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("absent");

  EXPECT_EQ(params.getParamOr<double>(name, 2.5), 2.5);
  EXPECT_EQ(params.findParam<double>(name), nullptr);
  EXPECT_THROW(params.getParamOrThrow<double>(name), ParameterUndefined);
  EXPECT_TRUE(journal.entries().empty());
}

TEST(ParameterManager, HandleCreatesUnsetParameterUntilSet) {
  JournalCapture journal;
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("handle");
  const std::string type = demangle<std::string>();

  const auto handle = params.getParamHandle<std::string>(name);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->getName(), name);
  EXPECT_EQ(handle->getTypeName(), type);
  ASSERT_EQ(journal.entries().size(), 1u);
  const JournalEntry created = journal.entries()[0];
  EXPECT_EQ(created.text, created_text(name, type));
  EXPECT_EQ(created.type, Journal::Info);
  EXPECT_EQ(created.importance, Journal::Mid);

  // Unset: every read refuses, the handle is the stored one.
  EXPECT_FALSE(handle->isSet());
  EXPECT_EQ(params.getParamHandle<std::string>(name), handle);
  EXPECT_EQ(params.getParamOr<std::string>(name, "fallback"), "fallback");
  try {
    params.getParamOrThrow<std::string>(name);
    FAIL() << "unset parameter was read";
  } catch (const ParameterUndefined& e) {
    EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
  }

  // The launcher's way: write through the handle.
  handle->set("from launcher");
  EXPECT_EQ(params.getParamOrThrow<std::string>(name), "from launcher");
  EXPECT_TRUE(params.setParam<std::string>(name, "second"));
  EXPECT_EQ(params.getParamOr<std::string>(name, "fallback"), "second");
  EXPECT_EQ(journal.entries().size(), 1u) << "only the creation is logged";
}

TEST(ParameterManager, SetParamCreatesOnceThenOverwrites) {
  JournalCapture journal;
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("set");

  EXPECT_TRUE(params.setParam<double>(name, 1.5));
  EXPECT_TRUE(params.setParam<double>(name, 3.0));
  EXPECT_EQ(params.getParamOrThrow<double>(name), 3.0);
  EXPECT_EQ(journal.count(created_text(name, "double")), 1);
  EXPECT_EQ(journal.entries().size(), 1u);
}

TEST(ParameterManager, TypeClashIsRefusedAndLoggedOncePerRequest) {
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("clash");
  const std::string string_type = demangle<std::string>();
  ASSERT_TRUE(params.setParam<std::string>(name, "kept"));

  JournalCapture journal;
  const std::string expected = mismatch_text(name, "double", string_type);

  EXPECT_FALSE(params.setParam<double>(name, 1.0));
  EXPECT_EQ(journal.count(expected), 1);
  EXPECT_EQ(params.findParam<double>(name), nullptr);
  EXPECT_EQ(params.getParamHandle<double>(name), nullptr);
  EXPECT_EQ(params.getParamOr<double>(name, 7.0), 7.0);
  EXPECT_THROW(params.getParamOrThrow<double>(name), ParameterUndefined);
  EXPECT_EQ(journal.count(expected), 5);
  for (const JournalEntry& e : journal.entries()) {
    EXPECT_EQ(e.type, Journal::Error);
    EXPECT_EQ(e.importance, Journal::High);
  }

  // emplaceParam on a taken name: false and silent, whatever the type.
  journal.clear();
  EXPECT_FALSE(params.emplaceParam<int>(name, 3));
  EXPECT_FALSE(params.emplaceParam<std::string>(name, "other"));
  EXPECT_TRUE(journal.entries().empty());

  EXPECT_EQ(params.getParamOrThrow<std::string>(name), "kept");
}

TEST(ParameterManager, EmplaceBuildsTheValueInPlace) {
  JournalCapture journal;
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("emplace");
  using Names = std::vector<std::string>;

  EXPECT_TRUE(params.emplaceParam<Names>(name, 3u, std::string("x")));
  EXPECT_EQ(params.getParamOrThrow<Names>(name), Names({"x", "x", "x"}));
  EXPECT_EQ(journal.count(created_text(name, demangle<Names>())), 1);

  // No arguments: default value, and still set.
  const std::string empty_name = unique("emplace_default");
  EXPECT_TRUE(params.emplaceParam<Names>(empty_name));
  EXPECT_TRUE(params.findParam<Names>(empty_name)->isSet());
  EXPECT_TRUE(params.getParamOrThrow<Names>(empty_name).empty());
}

struct NoDefault {
  explicit NoDefault(int v) : value(v) {}
  int value;
};

TEST(ParameterManager, TypesWithoutDefaultConstructorCanBeEmplaced) {
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("no_default");
  EXPECT_TRUE(params.emplaceParam<NoDefault>(name, 42));
  EXPECT_EQ(params.getParamOrThrow<NoDefault>(name).value, 42);
  EXPECT_EQ(params.getParamOr<NoDefault>(name, NoDefault(1)).value, 42);
}

// Readers copy the value while a writer replaces it: a reader never sees a
// value half written.
TEST(ParameterManager, ConcurrentReadersSeeWholeValues) {
  ParameterManager& params = Context().paramManager();
  const std::string name = unique("concurrent");
  const std::string a(64, 'a');
  const std::string b(200, 'b');
  ASSERT_TRUE(params.setParam<std::string>(name, a));
  const auto handle = params.findParam<std::string>(name);

  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<long> reads{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      std::string out;
      while (!stop.load()) {
        if (!handle->get(out) || (out != a && out != b)) {
          torn.fetch_add(1);
        }
        reads.fetch_add(1);
      }
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
    handle->set(i % 2 == 0 ? b : a);
  }
  stop.store(true);
  for (auto& t : readers) {
    t.join();
  }
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace Orvo
