#include "raw_publisher.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include <xmlrpcpp/XmlRpcClient.h>
#include <xmlrpcpp/XmlRpcValue.h>

namespace OrvoTest {

RawPublisher::RequestTopic::RequestTopic(XmlRpc::XmlRpcServer* server, int tcp_port)
    : XmlRpc::XmlRpcServerMethod("requestTopic", server), _tcp_port(tcp_port) {}

void RawPublisher::RequestTopic::execute(XmlRpc::XmlRpcValue&, XmlRpc::XmlRpcValue& result) {
  XmlRpc::XmlRpcValue protocol;
  protocol[0] = std::string("TCPROS");
  protocol[1] = std::string("127.0.0.1");
  protocol[2] = _tcp_port;
  result[0] = 1;
  result[1] = std::string("ready");
  result[2] = protocol;
}

RawPublisher::RawPublisher() {
  _listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (_listener < 0 || ::bind(_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(_listener, 16) != 0 ||
      ::getsockname(_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("raw publisher: cannot listen on 127.0.0.1");
  }
  _tcp_port = ntohs(address.sin_port);
  _request_topic = std::make_unique<RequestTopic>(&_server, _tcp_port);
  if (!_server.bindAndListen(0)) {
    throw std::runtime_error("raw publisher: cannot start the XML-RPC server");
  }
  _thread = std::thread([this] {
    while (_running) {
      _server.work(0.05);
    }
  });
}

RawPublisher::~RawPublisher() {
  _running = false;
  _thread.join();
  _server.shutdown();
  ::close(_listener);
}

bool RawPublisher::announce(int node_port, const std::string& topic, bool withdraw) {
  XmlRpc::XmlRpcValue publishers;
  publishers.setSize(0);
  if (!withdraw) {
    publishers[0] = "http://127.0.0.1:" + std::to_string(_server.get_port()) + "/" +
                    std::to_string(++_announcements);
  }
  XmlRpc::XmlRpcValue params;
  params[0] = std::string("/raw_publisher");
  params[1] = topic;
  params[2] = publishers;
  XmlRpc::XmlRpcValue result;
  XmlRpc::XmlRpcClient client("127.0.0.1", node_port, "/");
  const bool sent = client.execute("publisherUpdate", params, result);
  client.close();
  return sent && result.getType() == XmlRpc::XmlRpcValue::TypeArray && static_cast<int>(result[0]) == 1;
}

std::unique_ptr<RawConnection> RawPublisher::accept(std::string& header, std::chrono::milliseconds timeout) {
  pollfd ready{_listener, POLLIN, 0};
  if (::poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) {
    return nullptr;
  }
  const int fd = ::accept(_listener, nullptr, nullptr);
  if (fd < 0) {
    return nullptr;
  }
  auto connection = std::make_unique<RawConnection>(RawConnection::Accepted{fd}, timeout);
  return connection->read_block(header) ? std::move(connection) : nullptr;
}

}  // namespace OrvoTest
