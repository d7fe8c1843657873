#pragma once
// The request of services that need no input.

namespace Orvo {
namespace service {

struct Empty {};

}  // namespace service
}  // namespace Orvo
