// Replays a fuzz target's seeds (fuzz/corpus/<target>/) and the inputs of
// the faults found so far (fuzz/regressions/<target>/) through the target's
// entry function: an input that crashes, hangs or aborts fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Replays every file of fuzz/<kind>/<target>/ in name order; their count.
std::size_t replay(const std::string& kind) {
  const std::filesystem::path dir = std::filesystem::path(ORVO2_FUZZ_DIR) / kind / ORVO2_FUZZ_TARGET;
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_directory(dir)) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file()) {
        files.push_back(entry.path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  }
  return files.size();
}

}  // namespace

TEST(ORVO2_FUZZ_SUITE, Corpus) { EXPECT_GT(replay("corpus"), 0u) << "no seed for " << ORVO2_FUZZ_TARGET; }

TEST(ORVO2_FUZZ_SUITE, Regressions) { replay("regressions"); }
