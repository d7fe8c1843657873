#include "raw_tcpros.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <ros/master.h>

namespace OrvoTest {

std::string le32(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return out;
}

std::string framed(const std::string& body) { return le32(static_cast<uint32_t>(body.size())) + body; }

std::string header_fields(const HeaderFields& fields) {
  std::string out;
  for (const auto& [key, value] : fields) {
    out += framed(key + "=" + value);
  }
  return out;
}

std::map<std::string, std::string> parse_header(const std::string& block) {
  std::map<std::string, std::string> fields;
  size_t at = 0;
  while (at + 4 <= block.size()) {
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) {
      length = (length << 8) | static_cast<uint8_t>(block[at + i]);
    }
    at += 4;
    if (length > block.size() - at) {
      return {};
    }
    const std::string field = block.substr(at, length);
    at += length;
    const size_t equals = field.find('=');
    if (equals == std::string::npos) {
      return {};
    }
    fields[field.substr(0, equals)] = field.substr(equals + 1);
  }
  return at == block.size() ? fields : std::map<std::string, std::string>{};
}

RawConnection::RawConnection(int port, std::chrono::milliseconds timeout) : _timeout(timeout) {
  _fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  limit.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  if (_fd < 0 || ::setsockopt(_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) != 0 ||
      ::connect(_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    const std::string reason = std::strerror(errno);
    if (_fd >= 0) {
      ::close(_fd);
    }
    throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " + reason);
  }
}

RawConnection::~RawConnection() { ::close(_fd); }

bool RawConnection::send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool RawConnection::read_exactly(size_t count, std::string& out) {
  out.assign(count, '\0');
  const auto deadline = std::chrono::steady_clock::now() + _timeout;
  size_t got = 0;
  while (got < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{_fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return false;
    }
    const ssize_t n = ::recv(_fd, &out[got], count - got, 0);
    if (n <= 0) {
      return false;
    }
    got += static_cast<size_t>(n);
  }
  return true;
}

bool RawConnection::read_block(std::string& out, uint32_t limit) {
  std::string length_bytes;
  if (!read_exactly(4, length_bytes)) {
    return false;
  }
  uint32_t length = 0;
  for (int i = 3; i >= 0; --i) {
    length = (length << 8) | static_cast<uint8_t>(length_bytes[i]);
  }
  return length <= limit && read_exactly(length, out);
}

bool RawConnection::closed_by_peer() {
  const auto deadline = std::chrono::steady_clock::now() + _timeout;
  std::array<char, 4096> sink{};
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{_fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return false;
    }
    if (::recv(_fd, sink.data(), sink.size(), 0) <= 0) {
      return true;
    }
  }
}

namespace {

// The port at the end of a URI such as "rosrpc://127.0.0.1:4711" or
// "http://127.0.0.1:4711/"; -1 when there is none.
int uri_port(std::string uri) {
  while (!uri.empty() && uri.back() == '/') {
    uri.pop_back();
  }
  const size_t colon = uri.rfind(':');
  if (colon == std::string::npos) {
    return -1;
  }
  try {
    return std::stoi(uri.substr(colon + 1));
  } catch (const std::exception&) {
    return -1;
  }
}

int lookup_port(const std::string& method, const std::string& name) {
  XmlRpc::XmlRpcValue request;
  XmlRpc::XmlRpcValue response;
  XmlRpc::XmlRpcValue payload;
  request[0] = "/robustness_raw_client";
  request[1] = name;
  if (!ros::master::execute(method, request, response, payload, false) ||
      payload.getType() != XmlRpc::XmlRpcValue::TypeString) {
    return -1;
  }
  return uri_port(static_cast<std::string>(payload));
}

}  // namespace

int service_port(const std::string& service) { return lookup_port("lookupService", service); }

int node_xmlrpc_port(const std::string& node) { return lookup_port("lookupNode", node); }

}  // namespace OrvoTest
