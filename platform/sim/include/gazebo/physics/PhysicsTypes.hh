#pragma once
// Handles on the simulated world's objects.

#include <vector>

#include <boost/shared_ptr.hpp>

namespace gazebo {
namespace physics {

class Base;
class Entity;
class Joint;
class Link;
class Model;
class World;

using BasePtr = boost::shared_ptr<Base>;
using EntityPtr = boost::shared_ptr<Entity>;
using JointPtr = boost::shared_ptr<Joint>;
using LinkPtr = boost::shared_ptr<Link>;
using ModelPtr = boost::shared_ptr<Model>;
using WorldPtr = boost::shared_ptr<World>;

using Joint_V = std::vector<JointPtr>;
using Link_V = std::vector<LinkPtr>;
using Model_V = std::vector<ModelPtr>;

}  // namespace physics
}  // namespace gazebo
