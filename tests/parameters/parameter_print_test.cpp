// Default printer of every kind of value type the system stores.
#include <unistd.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/typed/parameter.h"
#include "orvo2/tasks/callback_queue.h"

namespace Orvo {
namespace {

struct Opaque {
  int value = 7;
};

struct Printable {
  int value = 7;
};
std::ostream& operator<<(std::ostream& os, const Printable& p) { return os << "printable " << p.value; }

template <typename T, typename... Args>
std::string printed(const std::string& leaf, Args&&... args) {
  ParameterManager& params = Context().paramManager();
  const std::string name = "/print_test_" + std::to_string(getpid()) + "/" + leaf;
  EXPECT_TRUE(params.emplaceParam<T>(name, std::forward<Args>(args)...));
  const auto param = params.findParam<T>(name);
  std::ostringstream os;
  const ParameterBase& base = *param;
  base.print(os);
  return os.str();
}

TEST(ParameterPrint, StreamableValuesAreWritten) {
  EXPECT_EQ(printed<std::string>("string", "hello"), "hello");
  EXPECT_EQ(printed<double>("double", 1.25), "1.25");
  EXPECT_EQ(printed<bool>("bool", true), "1");
  EXPECT_EQ(printed<std::chrono::nanoseconds>("period", std::chrono::milliseconds(2)), "2000000ns");
  EXPECT_EQ(printed<Printable>("printable"), "printable 7");

  auto queue = std::make_shared<CallbackQueue>();
  std::ostringstream address;
  address << queue;
  EXPECT_EQ(printed<std::shared_ptr<CallbackQueue>>("queue", queue), address.str());
}

TEST(ParameterPrint, ValuesWithoutStreamOutputPrintNothing) {
  EXPECT_EQ(printed<Opaque>("opaque"), "");
  EXPECT_EQ(printed<std::vector<std::string>>("names", 2u, std::string("x")), "");
}

TEST(ParameterPrint, UnsetValueIsPrintedAsItStands) {
  ParameterManager& params = Context().paramManager();
  const auto param = params.getParamHandle<double>("/print_test_" + std::to_string(getpid()) + "/unset");
  std::ostringstream os;
  param->print(os);
  EXPECT_EQ(os.str(), "0");
}

}  // namespace
}  // namespace Orvo
