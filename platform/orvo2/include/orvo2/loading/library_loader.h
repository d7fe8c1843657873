#pragma once
// Loading of device libraries and control plug-ins by name, at set-up only.
// A library is searched in the folders of ORVO2_PLUGIN_PATH (colon
// separated), then in the folder liborvo2 itself was loaded from (the build's
// library folder, or the prefix's once installed). Loaded libraries stay
// loaded for the life of the process.

#include <string>
#include <vector>

namespace Orvo {

class SharedLibrary {
public:
  // Set-up only: searches `file_name` (e.g. "liborvodev_joint_dummy.so") on
  // the search path and loads it. Throws std::runtime_error naming the file
  // and every folder searched, or the loader's own error text.
  explicit SharedLibrary(const std::string& file_name);

  // Throws std::runtime_error naming the library and the symbol when absent.
  void* symbol(const std::string& name) const;
  template <typename Fn>
  Fn function(const std::string& name) const {
    return reinterpret_cast<Fn>(symbol(name));
  }

  const std::string& path() const { return _path; }

  // The folders searched, in order.
  static std::vector<std::string> search_path();

private:
  void* _handle = nullptr;
  std::string _path;
};

// The interface version every library of this framework reports (2.x.y is
// accepted).
constexpr int abi_major = 2;
constexpr int abi_minor = 0;
constexpr int abi_patch = 0;

// Throws std::runtime_error naming the library when the reported major
// version is not abi_major.
void check_abi_version(const SharedLibrary& library, const std::string& function, int major,
                       int minor, int patch);

}  // namespace Orvo
