#pragma once
// A folder of its own for one test (named with the process id, so that tests
// run in parallel), removed with everything in it at the end of the test.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace OrvoTest {

class TempDir {
public:
  explicit TempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    _path = std::filesystem::temp_directory_path() /
            ("orvo2_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(_path);
    std::filesystem::create_directories(_path);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Writes `text` to `relative` (folders are made as needed); returns the full path.
  std::string write(const std::string& relative, const std::string& text) const {
    const std::filesystem::path file = _path / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file.string();
  }

  std::string path() const { return _path.string(); }

private:
  std::filesystem::path _path;
};

}  // namespace OrvoTest
