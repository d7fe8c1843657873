#include "orvo2/loading/library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace Orvo {
namespace {

std::mutex g_loaded_lock;
// Path → handle of every library loaded by name; never closed.
std::map<std::string, void*>& loaded() {
  static auto* libraries = new std::map<std::string, void*>;
  return *libraries;
}

std::vector<std::string> split_path(const char* text) {
  std::vector<std::string> parts;
  if (text == nullptr) {
    return parts;
  }
  std::string current;
  for (const char* p = text;; ++p) {
    if (*p == ':' || *p == '\0') {
      if (!current.empty()) {
        parts.push_back(current);
      }
      current.clear();
      if (*p == '\0') {
        break;
      }
    } else {
      current += *p;
    }
  }
  return parts;
}

// The folder this library was loaded from (none when unknown): the build's
// library folder for a program run from the build tree, the prefix's for an
// installed one, which must never search a build folder.
std::string own_folder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || info.dli_fname == nullptr) {
    return std::string();
  }
  const std::string path = info.dli_fname;
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> SharedLibrary::search_path() {
  std::vector<std::string> folders = split_path(std::getenv("ORVO2_PLUGIN_PATH"));
  const std::string folder = own_folder();
  if (!folder.empty()) {
    folders.push_back(folder);
  }
  return folders;
}

SharedLibrary::SharedLibrary(const std::string& file_name) {
  const std::vector<std::string> folders = search_path();
  for (const std::string& folder : folders) {
    const std::string candidate = folder + "/" + file_name;
    if (::access(candidate.c_str(), R_OK) != 0) {
      continue;
    }
    std::lock_guard<std::mutex> guard(g_loaded_lock);
    auto it = loaded().find(candidate);
    if (it == loaded().end()) {
      void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) {
        const char* error = ::dlerror();
        throw std::runtime_error(fmt::format("unable to load library '{}': {}", candidate,
                                             error ? error : "unknown error"));
      }
      it = loaded().emplace(candidate, handle).first;
    }
    _handle = it->second;
    _path = candidate;
    return;
  }
  throw std::runtime_error(fmt::format("unable to find library '{}' in [{}] (set ORVO2_PLUGIN_PATH)",
                                       file_name, fmt::join(folders, ", ")));
}

void* SharedLibrary::symbol(const std::string& name) const {
  ::dlerror();
  void* address = ::dlsym(_handle, name.c_str());
  if (address == nullptr) {
    throw std::runtime_error(
        fmt::format("library '{}' has no entry point '{}'", _path, name));
  }
  return address;
}

void check_abi_version(const SharedLibrary& library, const std::string& function, int major,
                       int minor, int patch) {
  if (major != abi_major) {
    throw std::runtime_error(fmt::format(
        "library '{}' reports interface version {}.{}.{} through '{}', expected {}.x",
        library.path(), major, minor, patch, function, abi_major));
  }
}

}  // namespace Orvo
