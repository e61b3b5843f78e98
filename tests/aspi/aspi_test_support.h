// Shared helpers of the layer's tests: a fresh program folder and registry per test, a fake
// clock, and commands sent through the ASPI entry points.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/aspi/aspi.h"
#include "platform/aspi/testing.h"
#include "tests/support/temp_dir.h"

namespace aspitest {

namespace aspi = platform::aspi;
namespace at = platform::aspi::testing;
using platform::aspi::vr::Media;

struct Reply {
  std::uint8_t status = 0;  // SS_*
  std::uint8_t hostStatus = 0;
  std::uint8_t targetStatus = 0;
  std::uint8_t key = 0, asc = 0, ascq = 0;
  std::vector<std::uint8_t> data;
  bool Good() const { return status == aspi::SS_COMP; }
  std::uint32_t U16(size_t i) const { return data.at(i) << 8 | data.at(i + 1); }
  std::uint32_t U32(size_t i) const { return U16(i) << 16 | U16(i + 2); }
};

// Sends one CDB; `in` bytes are read back, or `out` is sent.
inline Reply Send(std::uint8_t ha, std::uint8_t target, const std::vector<std::uint8_t>& cdb,
                  size_t in = 0, const std::vector<std::uint8_t>& out = {}) {
  aspi::SrbExecScsiCmd srb;
  srb.header.hostAdapter = ha;
  srb.target = target;
  std::vector<std::uint8_t> buffer = out.empty() ? std::vector<std::uint8_t>(in) : out;
  srb.header.flags = out.empty() ? (in ? aspi::SRB_DIR_IN : 0) : aspi::SRB_DIR_OUT;
  srb.data = buffer.empty() ? nullptr : buffer.data();
  srb.dataLength = static_cast<std::uint32_t>(buffer.size());
  srb.cdbLength = static_cast<std::uint8_t>(cdb.size());
  std::copy(cdb.begin(), cdb.end(), srb.cdb);
  Reply r;
  r.status = static_cast<std::uint8_t>(aspi::SendASPI32Command(&srb.header));
  r.hostStatus = srb.hostAdapterStatus;
  r.targetStatus = srb.targetStatus;
  r.key = srb.sense[2] & 0x0F;
  r.asc = srb.sense[12];
  r.ascq = srb.sense[13];
  if (r.Good() && out.empty()) r.data = buffer;
  return r;
}

inline Reply Cmd(std::uint8_t target, const std::vector<std::uint8_t>& cdb, size_t in = 0) {
  return Send(0, target, cdb, in);
}
inline Reply CmdOut(std::uint8_t target, const std::vector<std::uint8_t>& cdb,
                    const std::vector<std::uint8_t>& out) {
  return Send(0, target, cdb, 0, out);
}

inline std::string SenseText(const Reply& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "status %u target %u sense %X/%02X/%02X", r.status, r.targetStatus,
                r.key, r.asc, r.ascq);
  return buf;
}

#define EXPECT_GOOD(reply) EXPECT_TRUE((reply).Good()) << aspitest::SenseText(reply)
#define ASSERT_GOOD(reply) ASSERT_TRUE((reply).Good()) << aspitest::SenseText(reply)
#define EXPECT_SENSE(reply, k, a, q)                                                               \
  do {                                                                                             \
    const auto& r_ = (reply);                                                                      \
    EXPECT_EQ(r_.status, platform::aspi::SS_ERR) << aspitest::SenseText(r_);                       \
    EXPECT_EQ(r_.targetStatus, platform::aspi::TARGET_CHECK_CONDITION) << aspitest::SenseText(r_); \
    EXPECT_EQ(r_.key, k) << aspitest::SenseText(r_);                                               \
    EXPECT_EQ(r_.asc, a) << aspitest::SenseText(r_);                                               \
    EXPECT_EQ(r_.ascq, q) << aspitest::SenseText(r_);                                              \
  } while (0)

inline std::vector<std::uint8_t> Cdb10(std::uint8_t op, std::uint8_t b1 = 0, std::uint32_t lba = 0,
                                       std::uint16_t length = 0, std::uint8_t b6 = 0) {
  return {op,
          b1,
          static_cast<std::uint8_t>(lba >> 24),
          static_cast<std::uint8_t>(lba >> 16),
          static_cast<std::uint8_t>(lba >> 8),
          static_cast<std::uint8_t>(lba),
          b6,
          static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length),
          0};
}

// A test with its own program folder, registry and fake clock, and recorders of the given media.
class AspiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.P("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.P("data").c_str(), 1);
    clock = at::UseFakeClock();
    at::Reload();  // this test's configuration, not the one an earlier test of the run left
  }
  void TearDown() override { at::ConfigureRecorders({}); }

  // Recorders 0.. holding blanks of these media.
  void Recorders(std::vector<Media> media) {
    std::vector<at::RecorderConfig> configs;
    for (size_t i = 0; i < media.size(); ++i) {
      at::RecorderConfig c;
      c.name = "Recorder" + std::to_string(i);
      c.media = media[i];
      configs.push_back(c);
    }
    at::ConfigureRecorders(configs);
  }

  TempDir dir;
  std::shared_ptr<aspi::FakeClock> clock;
};

// User data whose every block names its LBA, for round trips.
inline std::vector<std::uint8_t> Pattern(std::uint32_t lba, std::uint32_t blocks) {
  std::vector<std::uint8_t> d(static_cast<size_t>(blocks) * 2048);
  for (std::uint32_t b = 0; b < blocks; ++b)
    for (size_t i = 0; i < 2048; ++i)
      d[b * 2048 + i] = static_cast<std::uint8_t>((lba + b) * 7 + i * 13 + (i >> 8));
  return d;
}

}  // namespace aspitest
