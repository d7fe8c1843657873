#include "orvo2/sim/plugin_host.h"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>

#include <gazebo/common/Plugin.hh>
#include <gazebo/physics/Model.hh>
#include <gazebo/physics/World.hh>

namespace Orvo {

struct SimPluginHost::Loaded {
  std::string filename;
  void* library = nullptr;
  gazebo::ModelPlugin* plugin = nullptr;
  ~Loaded() {
    delete plugin;
    if (library) dlclose(library);
  }
};

namespace {

void* open_library(const std::string& filename, std::string& tried) {
  std::vector<std::string> candidates{filename};
  if (filename.find('/') == std::string::npos)
    for (const std::string& dir : SimPluginHost::search_path()) candidates.push_back(dir + "/" + filename);
  for (const std::string& candidate : candidates) {
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    const char* error = dlerror();
    tried += "\n  " + candidate + ": " + (error ? error : "unknown error");
  }
  return nullptr;
}

// The folder this library was loaded from (none when unknown): the build's
// library folder for a program run from the build tree, the prefix's for an
// installed one.
std::string own_folder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || info.dli_fname == nullptr) return std::string();
  const std::string path = info.dli_fname;
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> SimPluginHost::search_path() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("ORVO2_PLUGIN_PATH")) {
    std::string path = env;
    std::string::size_type start = 0;
    while (start <= path.size()) {
      const std::string::size_type end = std::min(path.find(':', start), path.size());
      if (end > start) dirs.push_back(path.substr(start, end - start));
      start = end + 1;
    }
  }
  const std::string own = own_folder();
  if (!own.empty()) dirs.push_back(own);
  return dirs;
}

SimPluginHost::SimPluginHost() = default;

SimPluginHost::~SimPluginHost() {
  // Every plug-in goes before any library is closed.
  for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it) {
    delete (*it)->plugin;
    (*it)->plugin = nullptr;
  }
  while (!plugins_.empty()) plugins_.pop_back();
}

gazebo::ModelPlugin& SimPluginHost::load(const gazebo::physics::ModelPtr& model,
                                         const sdf::ElementPtr& plugin) {
  const std::string context = "model '" + model->GetName() + "'";
  if (!plugin->HasAttribute("filename") || plugin->Get<std::string>("filename").empty())
    throw std::runtime_error(context + ": plugin element without a filename");
  const std::string filename = plugin->Get<std::string>("filename");

  auto loaded = std::make_unique<Loaded>();
  loaded->filename = filename;
  std::string tried;
  loaded->library = open_library(filename, tried);
  if (!loaded->library)
    throw std::runtime_error(context + ": cannot load plug-in library '" + filename + "', tried:" + tried);
  using Factory = gazebo::ModelPlugin* (*)();
  auto factory = reinterpret_cast<Factory>(dlsym(loaded->library, "RegisterPlugin"));
  if (!factory)
    throw std::runtime_error(context + ": plug-in library '" + filename +
                             "' has no RegisterPlugin entry point");
  loaded->plugin = factory();
  if (!loaded->plugin)
    throw std::runtime_error(context + ": RegisterPlugin of '" + filename + "' made no plug-in");
  gazebo::ModelPlugin& made = *loaded->plugin;
  plugins_.push_back(std::move(loaded));
  try {
    made.Load(model, plugin);
  } catch (const std::exception& e) {
    throw std::runtime_error(context + ": Load of plug-in '" + filename + "' failed: " + e.what());
  }
  return made;
}

void SimPluginHost::load_all(const gazebo::physics::WorldPtr& world) {
  const std::size_t first = plugins_.size();
  for (const gazebo::physics::ModelPtr& model : world->Models()) {
    const sdf::ElementPtr element = model->GetSDF();
    if (!element || !element->HasElement("plugin")) continue;
    for (sdf::ElementPtr plugin = element->GetElement("plugin"); plugin;
         plugin = plugin->GetNextElement("plugin"))
      load(model, plugin);
  }
  for (std::size_t i = first; i < plugins_.size(); ++i) {
    try {
      plugins_[i]->plugin->Init();
    } catch (const std::exception& e) {
      throw std::runtime_error("Init of plug-in '" + plugins_[i]->filename + "' failed: " + e.what());
    }
  }
}

}  // namespace Orvo
