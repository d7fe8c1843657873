#pragma once
// Poses as the publisher of a ROS topic towards one subscribing node, with
// every byte of the TCP side in the test's hands: an XML-RPC server answers
// the node's requestTopic with a TCP port of its own, where the test accepts
// the node's connection and writes whatever header and messages it likes.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <xmlrpcpp/XmlRpcServer.h>
#include <xmlrpcpp/XmlRpcServerMethod.h>

#include "raw_tcpros.h"

namespace OrvoTest {

class RawPublisher {
public:
  // Starts the XML-RPC server and the TCP listener on 127.0.0.1. Throws
  // std::runtime_error when either cannot be opened.
  RawPublisher();
  // Stops the server's thread and closes both sockets.
  ~RawPublisher();
  RawPublisher(const RawPublisher&) = delete;
  RawPublisher& operator=(const RawPublisher&) = delete;

  // Tells the node whose XML-RPC server listens on `node_port` that this is
  // now the only publisher of `topic` (a new URI each time, so that the node
  // drops its links to the earlier ones); the node then connects. An empty
  // publisher list when `withdraw` is true. False when the node did not
  // take it.
  bool announce(int node_port, const std::string& topic, bool withdraw = false);
  // The node's connection, once it has sent its connection header (kept in
  // `header`); null when none came within `timeout`.
  std::unique_ptr<RawConnection> accept(std::string& header, std::chrono::milliseconds timeout);

private:
  class RequestTopic : public XmlRpc::XmlRpcServerMethod {
  public:
    RequestTopic(XmlRpc::XmlRpcServer* server, int tcp_port);
    void execute(XmlRpc::XmlRpcValue& params, XmlRpc::XmlRpcValue& result) override;

  private:
    int _tcp_port;
  };

  int _listener = -1;
  int _tcp_port = -1;
  int _announcements = 0;
  XmlRpc::XmlRpcServer _server;
  std::unique_ptr<RequestTopic> _request_topic;
  std::atomic<bool> _running{true};
  std::thread _thread;
};

}  // namespace OrvoTest
