// Requests and responses of the orvo_msgs services, alone and in the
// service response framing.
#include <gtest/gtest.h>

#include <orvo_msgs/GetPluginList.h>
#include <orvo_msgs/PluginStatus.h>
#include <orvo_msgs/SetControlMask.h>

#include "wire_bytes.h"

using namespace OrvoMsgsTest;

namespace {

template <typename M>
Bytes framed_response(bool ok, const M& response) {
  const ros::SerializedMessage m = ros::serialization::serializeServiceResponse(ok, response);
  return Bytes(m.buf.get(), m.buf.get() + m.num_bytes);
}

}  // namespace

TEST(OrvoMsgsServices, SetControlMaskRequestAndResponse) {
  orvo_msgs::SetControlMask srv;
  srv.request.mask = 0x1F;
  EXPECT_EQ(serialize(srv.request), Bytes{0x1F});
  EXPECT_EQ(deserialize<orvo_msgs::SetControlMaskRequest>(Bytes{0xA5}).mask, 0xA5);

  srv.response.success = true;
  srv.response.message = "mask set to 31";
  const Bytes body = WireBytes().u8(1).str("mask set to 31").bytes();
  EXPECT_EQ(serialize(srv.response), body);
  EXPECT_EQ(deserialize<orvo_msgs::SetControlMaskResponse>(body), srv.response);

  // Handler result true: the byte 1, the response's byte count, the response.
  const Bytes framed = framed_response(true, srv.response);
  EXPECT_EQ(framed.size(), 1u + 4 + 1 + 4 + srv.response.message.size());
  EXPECT_EQ(framed, WireBytes().u8(1).u32(static_cast<uint32_t>(body.size())).u8(1)
                        .str("mask set to 31").bytes());
  EXPECT_EQ(framed_response(false, srv.response)[0], 0);
}

TEST(OrvoMsgsServices, PluginStatusAndGetPluginList) {
  EXPECT_TRUE(serialize(orvo_msgs::PluginStatusRequest()).empty());
  EXPECT_TRUE(serialize(orvo_msgs::GetPluginListRequest()).empty());

  orvo_msgs::PluginStatusResponse status;
  status.state = "Running";
  EXPECT_EQ(serialize(status), WireBytes().str("Running").bytes());

  orvo_msgs::GetPluginListResponse list;
  list.plugins = {"ros_io", "homing", ""};
  const Bytes bytes = serialize(list);
  EXPECT_EQ(bytes, WireBytes().u32(3).str("ros_io").str("homing").str("").bytes());
  EXPECT_EQ(deserialize<orvo_msgs::GetPluginListResponse>(bytes), list);
  EXPECT_TRUE(serialize(orvo_msgs::GetPluginListResponse()) == Bytes(4, 0));
}
