#include "orvo2/services/service_base.h"

#include "orvo2/type_names/demangle.h"

namespace Orvo {

ServiceBase::ServiceBase(std::string name) : _name(std::move(name)) {}

ServiceBase::~ServiceBase() = default;

std::string ServiceBase::getRequestTypeName() const { return demangle(*_request_type); }

std::string ServiceBase::getResponseTypeName() const { return demangle(*_response_type); }

void ServiceBase::set_type_identities(const std::type_info& request_type,
                                      const std::type_info& response_type) {
  _request_type = &request_type;
  _response_type = &response_type;
}

}  // namespace Orvo
