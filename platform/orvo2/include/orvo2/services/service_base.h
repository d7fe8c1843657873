#pragma once
// Untyped faces of an in-process service and of its clients. The typed
// service (framework/typed/typed_service.h) derives from ServiceBase; the registry
// holds every service through it.

#include <memory>
#include <string>
#include <typeinfo>

#include <boost/any.hpp>

namespace Orvo {

class ServiceClientBase {
public:
  // Set-up, any thread.
  ServiceClientBase(const std::type_info& request_type, const std::type_info& response_type)
      : _request_type(&request_type), _response_type(&response_type) {}
  virtual ~ServiceClientBase() = default;
  ServiceClientBase(const ServiceClientBase&) = delete;
  ServiceClientBase& operator=(const ServiceClientBase&) = delete;

  // Client's thread; blocks up to 1 s and allocates (boost::any). `request`
  // must hold the request type (else boost::bad_any_cast); `response` receives
  // the response.
  virtual bool call_any(const boost::any& request, boost::any& response) = 0;

  // Any thread; never blocks.
  const std::type_info& request_type() const { return *_request_type; }
  const std::type_info& response_type() const { return *_response_type; }

private:
  const std::type_info* _request_type;
  const std::type_info* _response_type;
};

class ServiceBase : public std::enable_shared_from_this<ServiceBase> {
public:
  // Set-up, any thread; allocates.
  explicit ServiceBase(std::string name);
  virtual ~ServiceBase();
  ServiceBase(const ServiceBase&) = delete;
  ServiceBase& operator=(const ServiceBase&) = delete;

  // Set-up, any thread; allocates. A client of the service's own types.
  virtual std::shared_ptr<ServiceClientBase> make_client_base() = 0;

  // Any thread; never blocks. The type names are demangled (they allocate).
  const std::string& getName() const { return _name; }
  std::string getRequestTypeName() const;
  std::string getResponseTypeName() const;

protected:
  // Constructor of the typed service only.
  void set_type_identities(const std::type_info& request_type, const std::type_info& response_type);

private:
  std::string _name;
  const std::type_info* _request_type = &typeid(void);
  const std::type_info* _response_type = &typeid(void);
};

}  // namespace Orvo
