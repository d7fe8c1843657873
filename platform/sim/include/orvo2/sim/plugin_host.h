#pragma once
// Loads the model plug-ins a world's description names and owns them.
//
// A plugin element's library (its "filename") is searched: as given (dlopen's
// own search), then in each folder of ORVO2_PLUGIN_PATH (colon separated), then
// in the folder liborvo2_sim was loaded from (the build's library folder, or
// the prefix's once installed). Its RegisterPlugin makes
// the plug-in; Load is called with the model and the plugin element, and Init
// once every plug-in of the world is loaded. Destruction deletes the plug-ins
// (last loaded first), then closes their libraries.

#include <memory>
#include <string>
#include <vector>

#include <sdf/Element.hh>

#include <gazebo/physics/PhysicsTypes.hh>

namespace gazebo {
class ModelPlugin;
}

namespace Orvo {

class SimPluginHost {
public:
  SimPluginHost();
  SimPluginHost(const SimPluginHost&) = delete;
  SimPluginHost& operator=(const SimPluginHost&) = delete;
  // World thread, after the last step.
  ~SimPluginHost();

  // World thread, set-up: loads the plug-ins of every model, then calls Init on
  // each. Throws std::runtime_error naming the model and library on failure
  // (exceptions of Load or Init are passed on with that context).
  void load_all(const gazebo::physics::WorldPtr& world);
  // World thread, set-up: loads one plug-in (without Init); returns it.
  gazebo::ModelPlugin& load(const gazebo::physics::ModelPtr& model, const sdf::ElementPtr& plugin);

  // Any thread; the plug-ins loaded.
  std::size_t size() const { return plugins_.size(); }
  // Any thread; the folders searched after the name as given.
  static std::vector<std::string> search_path();

private:
  struct Loaded;
  std::vector<std::unique_ptr<Loaded>> plugins_;
};

}  // namespace Orvo
