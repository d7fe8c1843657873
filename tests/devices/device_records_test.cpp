// Raw access to device records: sizes are enforced, joint commands move 21
// bytes, empty records move none.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "devices/device_tpl_common.h"
#include "devices/sensor_records.h"

using namespace Orvo::Hal;

namespace {

template <typename Rx, typename Tx>
class TestDevice : public DeviceTplCommon<Rx, Tx> {
public:
  explicit TestDevice(DeviceInfo info) : DeviceTplCommon<Rx, Tx>(std::move(info)) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  Rx& rx() { return this->_rx; }
  Tx& tx() { return this->_tx; }
};

using JointDevice = TestDevice<joint_rx, joint_tx>;

}  // namespace

TEST(DeviceRecords, NewJointDeviceIsZeroAndDeclaresItsSizes) {
  JointDevice dev({"j1", "joint_test", 3});
  EXPECT_EQ(dev.get_rx_size(), 44);
  EXPECT_EQ(dev.get_tx_size(), 24);
  EXPECT_EQ(dev.get_name(), "j1");
  EXPECT_EQ(dev.get_id(), 3);

  std::array<unsigned char, 44> rx;
  rx.fill(0x55);
  ASSERT_TRUE(dev.get_rx_raw(rx.data(), 44));
  for (unsigned char b : rx) EXPECT_EQ(b, 0);

  std::array<unsigned char, 24> tx;
  tx.fill(0xAA);
  ASSERT_TRUE(dev.get_tx_raw(tx.data(), 24));
  for (int i = 0; i < 21; ++i) EXPECT_EQ(tx[i], 0) << i;
  for (int i = 21; i < 24; ++i) EXPECT_EQ(tx[i], 0xAA) << "padding is never written";
}

TEST(DeviceRecords, JointTxPaddingIsNeverCarried) {
  JointDevice dev({"j1", "joint_test", 1});
  joint_tx cmd;
  cmd.pos_ref = 1.5f;
  cmd.damping = -2.0f;
  cmd.mask = 0;  // a command with mask 0 is still copied whole
  std::array<unsigned char, 24> src;
  std::memcpy(src.data(), &cmd, 21);
  src[21] = src[22] = src[23] = 0xFF;
  ASSERT_TRUE(dev.set_tx_raw(src.data(), 24));

  const unsigned char* own = reinterpret_cast<const unsigned char*>(&dev.tx());
  EXPECT_EQ(own[21], 0);
  EXPECT_EQ(own[22], 0);
  EXPECT_EQ(own[23], 0);
  EXPECT_FLOAT_EQ(dev.tx().pos_ref, 1.5f);
  EXPECT_FLOAT_EQ(dev.tx().damping, -2.0f);
  EXPECT_EQ(dev.tx().mask, 0);
}

TEST(DeviceRecords, WrongSizesThrowAndCopyNothing) {
  JointDevice dev({"j1", "joint_test", 1});
  dev.tx().pos_ref = 4.0f;
  std::array<unsigned char, 64> buf;
  buf.fill(0x11);

  EXPECT_THROW(dev.set_tx_raw(buf.data(), 23), std::out_of_range);
  EXPECT_THROW(dev.set_tx_raw(buf.data(), 25), std::out_of_range);
  EXPECT_THROW(dev.set_rx_raw(buf.data(), 43), std::out_of_range);
  try {
    dev.get_rx_raw(buf.data(), 45);
    FAIL();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "get_rx_raw: size != get_rx_size()");
  }
  EXPECT_EQ(buf[0], 0x11);
  EXPECT_FLOAT_EQ(dev.tx().pos_ref, 4.0f);
  for (float f : {dev.rx().link_pos, dev.rx().damping}) EXPECT_EQ(f, 0.0f);
}

TEST(DeviceRecords, EmptyTxRecordsMoveNothingButCheckTheSize) {
  TestDevice<imu_rx, imu_tx> imu({"imu", "imu_test", 1});
  TestDevice<ft_rx, ft_tx> ft({"ft", "ft_test", 2});
  TestDevice<LinkStateSensorRx, LinkStateSensorTx> lss({"l_lss", "lss_test", 3});
  unsigned char byte = 0x7E;
  for (DeviceRt* dev : std::initializer_list<DeviceRt*>{&imu, &ft, &lss}) {
    EXPECT_EQ(dev->get_tx_size(), 1);
    EXPECT_TRUE(dev->get_tx_raw(&byte, 1));
    EXPECT_EQ(byte, 0x7E);
    EXPECT_TRUE(dev->set_tx_raw(&byte, 1));
    try {
      dev->get_tx_raw(&byte, 2);
      FAIL();
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "get_tx_raw: size != get_tx_size()");
    }
    EXPECT_THROW(dev->get_tx_raw(&byte, 0), std::out_of_range);
  }
  EXPECT_EQ(imu.get_rx_size(), 40);
  EXPECT_EQ(ft.get_rx_size(), 24);
  EXPECT_EQ(lss.get_rx_size(), 104);
}

TEST(DeviceRecords, LinkStateRoundTripKeepsEveryByteIncludingNaNPayloads) {
  TestDevice<LinkStateSensorRx, LinkStateSensorTx> lss({"l_lss", "lss_test", 3});
  std::array<unsigned char, 104> src;
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 7 + 1);
  const uint64_t nan_bits = 0x7FF8DEADBEEF0001ULL;  // quiet NaN with a payload
  std::memcpy(src.data() + 24, &nan_bits, 8);
  ASSERT_TRUE(lss.set_rx_raw(src.data(), 104));
  std::array<unsigned char, 104> out{};
  ASSERT_TRUE(lss.get_rx_raw(out.data(), 104));
  EXPECT_EQ(src, out);
  EXPECT_TRUE(std::isnan(lss.rx().quat_x));
}
