// Builds expected ROS 1 wire images byte by byte (little-endian, no padding) and
// runs messages through the generated serializers.
#pragma once

#include <ros/serialization.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace OrvoMsgsTest {

using Bytes = std::vector<uint8_t>;

class WireBytes {
public:
  WireBytes& u8(uint8_t v) { bytes_.push_back(v); return *this; }
  WireBytes& u16(uint16_t v) { return little_endian(v, 2); }
  WireBytes& u32(uint32_t v) { return little_endian(v, 4); }
  WireBytes& f32(float v) { uint32_t u; std::memcpy(&u, &v, 4); return little_endian(u, 4); }
  WireBytes& f64(double v) { uint64_t u; std::memcpy(&u, &v, 8); return little_endian(u, 8); }
  WireBytes& str(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  // A std_msgs/Header: seq, stamp seconds, stamp nanoseconds, frame id.
  WireBytes& header(uint32_t seq, uint32_t sec, uint32_t nsec, const std::string& frame) {
    return u32(seq).u32(sec).u32(nsec).str(frame);
  }
  const Bytes& bytes() const { return bytes_; }

private:
  WireBytes& little_endian(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes bytes_;
};

// Serializes into a buffer of exactly serializationLength bytes; the stream
// throws if the serializer writes more than it announced.
template <typename M>
Bytes serialize(const M& msg) {
  Bytes out(ros::serialization::serializationLength(msg));
  ros::serialization::OStream stream(out.data(), static_cast<uint32_t>(out.size()));
  ros::serialization::serialize(stream, msg);
  EXPECT_EQ(stream.getLength(), 0u) << "serializer wrote fewer bytes than it announced";
  return out;
}

template <typename M>
M deserialize(Bytes bytes) {
  M msg;
  ros::serialization::IStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ros::serialization::deserialize(stream, msg);
  EXPECT_EQ(stream.getLength(), 0u) << "deserializer left bytes unread";
  return msg;
}

}  // namespace OrvoMsgsTest
