#pragma once
// ROS 1 message types that carry the device records as they are, so that
// roscpp moves exactly the bytes the framework's topics and the device channel
// move: one record (`RecordMessage`, 44 bytes for a joint_rx) or a block of
// records (`RecordBlockMessage`, a count and the records). The ROS type traits
// and the serializer are written by hand (plain byte copies); both processes
// of a comparison include this header, so the type texts match.

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include <ros/message_traits.h>
#include <ros/serialization.h>

#include "devices/joint_records.h"

namespace OrvoBench {

template <typename Record>
struct RecordName;
template <>
struct RecordName<Orvo::Hal::joint_rx> {
  static constexpr const char* value = "joint_rx";
};
template <>
struct RecordName<Orvo::Hal::joint_tx> {
  static constexpr const char* value = "joint_tx";
};

template <typename Record>
struct RecordMessage {
  static_assert(std::is_trivially_copyable<Record>::value, "records are copied as bytes");
  using Ptr = boost::shared_ptr<RecordMessage>;
  using ConstPtr = boost::shared_ptr<const RecordMessage>;
  Record record{};
};

template <typename Record>
struct RecordBlockMessage {
  static_assert(std::is_trivially_copyable<Record>::value, "records are copied as bytes");
  using Ptr = boost::shared_ptr<RecordBlockMessage>;
  using ConstPtr = boost::shared_ptr<const RecordBlockMessage>;
  std::vector<Record> records;
};

using JointRxMessage = RecordMessage<Orvo::Hal::joint_rx>;
using JointRxBlock = RecordBlockMessage<Orvo::Hal::joint_rx>;
using JointTxBlock = RecordBlockMessage<Orvo::Hal::joint_tx>;

// "orvo_bench/joint_rx", "orvo_bench/joint_tx_block", ...
template <typename Record>
const char* message_type_text(bool block) {
  static const std::string single = std::string("orvo_bench/") + RecordName<Record>::value;
  static const std::string many = single + "_block";
  return block ? many.c_str() : single.c_str();
}

}  // namespace OrvoBench

namespace ros {
namespace message_traits {

// The type text stands in for the MD5 sum: both ends are built from this header.
template <typename Record>
struct MD5Sum<OrvoBench::RecordMessage<Record>> {
  static const char* value() { return OrvoBench::message_type_text<Record>(false); }
  static const char* value(const OrvoBench::RecordMessage<Record>&) { return value(); }
};
template <typename Record>
struct DataType<OrvoBench::RecordMessage<Record>> {
  static const char* value() { return OrvoBench::message_type_text<Record>(false); }
  static const char* value(const OrvoBench::RecordMessage<Record>&) { return value(); }
};
template <typename Record>
struct Definition<OrvoBench::RecordMessage<Record>> {
  static const char* value() { return "uint8[] record_bytes\n"; }
  static const char* value(const OrvoBench::RecordMessage<Record>&) { return value(); }
};
template <typename Record>
struct MD5Sum<OrvoBench::RecordBlockMessage<Record>> {
  static const char* value() { return OrvoBench::message_type_text<Record>(true); }
  static const char* value(const OrvoBench::RecordBlockMessage<Record>&) { return value(); }
};
template <typename Record>
struct DataType<OrvoBench::RecordBlockMessage<Record>> {
  static const char* value() { return OrvoBench::message_type_text<Record>(true); }
  static const char* value(const OrvoBench::RecordBlockMessage<Record>&) { return value(); }
};
template <typename Record>
struct Definition<OrvoBench::RecordBlockMessage<Record>> {
  static const char* value() { return "uint32 count\nuint8[] record_bytes\n"; }
  static const char* value(const OrvoBench::RecordBlockMessage<Record>&) { return value(); }
};

}  // namespace message_traits

namespace serialization {

template <typename Record>
struct Serializer<OrvoBench::RecordMessage<Record>> {
  static void write(OStream& stream, const OrvoBench::RecordMessage<Record>& m) {
    std::memcpy(stream.advance(sizeof(Record)), &m.record, sizeof(Record));
  }
  static void read(IStream& stream, OrvoBench::RecordMessage<Record>& m) {
    std::memcpy(&m.record, stream.advance(sizeof(Record)), sizeof(Record));
  }
  static uint32_t serializedLength(const OrvoBench::RecordMessage<Record>&) { return sizeof(Record); }
};

template <typename Record>
struct Serializer<OrvoBench::RecordBlockMessage<Record>> {
  static void write(OStream& stream, const OrvoBench::RecordBlockMessage<Record>& m) {
    stream.next(static_cast<uint32_t>(m.records.size()));
    const uint32_t bytes = static_cast<uint32_t>(m.records.size() * sizeof(Record));
    if (bytes > 0) {
      std::memcpy(stream.advance(bytes), m.records.data(), bytes);
    }
  }
  // advance() throws on a count that runs past the received bytes.
  static void read(IStream& stream, OrvoBench::RecordBlockMessage<Record>& m) {
    uint32_t count = 0;
    stream.next(count);
    if (count > stream.getLength() / sizeof(Record)) {
      throw StreamOverrunException("record block count " + std::to_string(count) + " exceeds the message");
    }
    m.records.resize(count);
    const uint32_t bytes = static_cast<uint32_t>(count * sizeof(Record));
    if (bytes > 0) {
      std::memcpy(m.records.data(), stream.advance(bytes), bytes);
    }
  }
  static uint32_t serializedLength(const OrvoBench::RecordBlockMessage<Record>& m) {
    return static_cast<uint32_t>(4 + m.records.size() * sizeof(Record));
  }
};

}  // namespace serialization
}  // namespace ros
