#pragma once
// The model plug-in base class and the macro that exports its factory.

#include <sdf/Element.hh>

#include "gazebo/physics/PhysicsTypes.hh"

namespace gazebo {

// A plug-in attached to one model. The host constructs it through the
// library's RegisterPlugin, calls Load once on the world thread, then Init,
// and destroys it before closing the library.
class ModelPlugin {
public:
  ModelPlugin() = default;
  ModelPlugin(const ModelPlugin&) = delete;
  ModelPlugin& operator=(const ModelPlugin&) = delete;
  virtual ~ModelPlugin() = default;

  // World thread, set-up; may block and allocate. _sdf is the plugin element.
  virtual void Load(physics::ModelPtr _model, sdf::ElementPtr _sdf) = 0;
  // World thread, after every plug-in of the world was loaded.
  virtual void Init() {}
  // World thread, when the world is reset.
  virtual void Reset() {}
};

}  // namespace gazebo

#define GZ_REGISTER_MODEL_PLUGIN(classname)                                                    \
  extern "C" __attribute__((visibility("default"))) gazebo::ModelPlugin* RegisterPlugin();     \
  gazebo::ModelPlugin* RegisterPlugin() { return new classname(); }
