#pragma once
// A raw TCP client on 127.0.0.1 that speaks as much of the ROS TCP protocol
// as the robustness tests need: length-prefixed blocks, connection headers
// made of "key=value" fields, and a whole service call. Every read is bounded
// by the connection's time-out, so a peer that says nothing fails the read
// instead of hanging the test.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <ros/serialization.h>
#include <ros/service_traits.h>

namespace OrvoTest {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// Four bytes, little endian.
std::string le32(uint32_t value);
// `body` behind its four-byte length.
std::string framed(const std::string& body);
// The fields as a connection header (length-prefixed fields, no outer length).
std::string header_fields(const HeaderFields& fields);
// The fields of a received header block; an empty map when it is malformed.
std::map<std::string, std::string> parse_header(const std::string& block);

class RawConnection {
public:
  // Connects to 127.0.0.1:`port`; throws std::runtime_error naming the port
  // when no connection is made within `timeout`.
  RawConnection(int port, std::chrono::milliseconds timeout);
  // Takes over a socket accepted from a listener.
  struct Accepted {
    int fd;
  };
  RawConnection(Accepted accepted, std::chrono::milliseconds timeout)
      : _fd(accepted.fd), _timeout(timeout) {}
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // False when the peer has gone (nothing raises SIGPIPE).
  bool send(const std::string& bytes);
  // Exactly `count` bytes, or false on end of stream, error or time-out.
  bool read_exactly(size_t count, std::string& out);
  // One length-prefixed block of at most `limit` bytes.
  bool read_block(std::string& out, uint32_t limit = 1u << 20);
  // True when the peer closes the connection (end of stream or reset) within
  // the time-out; whatever it sends before is read and dropped.
  bool closed_by_peer();

private:
  int _fd = -1;
  std::chrono::milliseconds _timeout;
};

// The port of the ROS service `service` from the master (its "rosrpc://"
// URI); -1 when the master does not know it. Needs ros::init.
int service_port(const std::string& service);
// The port of the XML-RPC server of the ROS node `node`; -1 when unknown.
int node_xmlrpc_port(const std::string& node);

// One call of `service` (type Srv) over a fresh connection, bounded by
// `timeout` per read. True when the server answered with success; `error`
// says what went wrong otherwise.
template <typename Srv>
bool raw_service_call(int port, const std::string& service, const typename Srv::Request& request,
                      typename Srv::Response& response, std::string& error,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  RawConnection connection(port, timeout);
  const HeaderFields fields = {{"callerid", "/robustness_raw_client"},
                               {"service", service},
                               {"md5sum", ros::service_traits::md5sum<Srv>()}};
  std::string header;
  if (!connection.send(framed(header_fields(fields))) || !connection.read_block(header)) {
    error = "no connection header came back";
    return false;
  }
  const auto reply_fields = parse_header(header);
  if (reply_fields.count("error") != 0) {
    error = "header refused: " + reply_fields.at("error");
    return false;
  }
  const uint32_t length = ros::serialization::serializationLength(request);
  std::vector<uint8_t> body(length);
  ros::serialization::OStream out(body.data(), length);
  ros::serialization::serialize(out, request);
  std::string ok;
  std::string reply;
  if (!connection.send(framed(std::string(body.begin(), body.end()))) ||
      !connection.read_exactly(1, ok) || !connection.read_block(reply)) {
    error = "no reply came back";
    return false;
  }
  if (ok[0] != 1) {
    error = "call failed: " + reply;
    return false;
  }
  std::vector<uint8_t> bytes(reply.begin(), reply.end());
  ros::serialization::IStream in(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ros::serialization::deserialize(in, response);
  return true;
}

}  // namespace OrvoTest
