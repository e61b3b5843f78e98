// The SG_IO backend against a fake kernel: device numbering by host, channel, id and LUN, and
// the mapping of SG_IO results onto the request block.
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>

#include "tests/aspi/aspi_test_support.h"

namespace aspitest {
namespace {

class FakeKernel : public aspi::SgIoSystem {
 public:
  std::vector<aspi::SgDeviceNode> devices;
  std::function<int(const std::string& path, sg_io_hdr_t*)> answer;
  std::vector<sg_io_hdr_t> seen;
  std::vector<std::string> seenPaths;

  std::vector<aspi::SgDeviceNode> ListDevices() override { return devices; }
  int Open(const std::string& path) override {
    std::lock_guard lock(mutex_);
    paths_.push_back(path);
    return static_cast<int>(paths_.size()) + 100;
  }
  int Close(int) override { return 0; }
  int SgIo(int fd, sg_io_hdr_t* h) override {
    std::string path;
    {
      std::lock_guard lock(mutex_);
      path = paths_.at(static_cast<size_t>(fd - 101));
      seen.push_back(*h);
      seenPaths.push_back(path);
    }
    return answer(path, h);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> paths_;
};

class SgIo : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    kernel = std::make_shared<FakeKernel>();
    kernel->devices = {
        {"/dev/sg3", 2, 0, 1, 0, 5}, {"/dev/sg0", 1, 0, 0, 0, 5}, {"/dev/sr0", 1, 0, 0, 0, 5},
        {"/dev/sg1", 0, 0, 0, 0, 0}, {"/dev/sr1", 1, 0, 3, 0, 5}, {"/dev/sg4", 1, 0, 2, 0, 5},
    };
    kernel->answer = [](const std::string&, sg_io_hdr_t* h) {
      if (h->dxfer_direction == SG_DXFER_FROM_DEV && h->dxfer_len >= 1)
        static_cast<std::uint8_t*>(h->dxferp)[0] = 0x05;
      return 0;
    };
    at::UseSgIoSystem(kernel);
    at::SetCommandTimeout(std::chrono::seconds(42));
    at::Reload();
  }
  std::shared_ptr<FakeKernel> kernel;
};

TEST_F(SgIo, DevicesAreNumberedByKernelAddress) {
  EXPECT_EQ(aspi::GetASPI32SupportInfo() & 0xFF, 3u);  // virtual, host 1, host 2
  const char* expected[3][3] = {{"/dev/sr0", "/dev/sg4", "/dev/sr1"},
                                {"/dev/sg3", nullptr, nullptr}};
  for (std::uint8_t ha = 1; ha <= 2; ++ha) {
    aspi::SrbHaInquiry inq;
    inq.header.hostAdapter = ha;
    ASSERT_EQ(aspi::SendASPI32Command(&inq.header), aspi::SS_COMP);
    EXPECT_STREQ(inq.adapterId, "SG_IO");
    EXPECT_EQ(inq.maxTargets, ha == 1 ? 3 : 1);
    for (std::uint8_t t = 0; t < inq.maxTargets; ++t) {
      aspi::SrbGetSymbolicName name;
      name.header.hostAdapter = ha;
      name.target = t;
      ASSERT_EQ(aspi::SendASPI32Command(&name.header), aspi::SS_COMP);
      EXPECT_STREQ(name.name, expected[ha - 1][t]);
    }
  }
  EXPECT_EQ(Send(1, 3, {0x12, 0, 0, 0, 96, 0}, 96).status, aspi::SS_NO_DEVICE);
}

TEST_F(SgIo, RequestBecomesAnSgIoHeader) {
  Reply r = Send(1, 1, {0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_GOOD(r);
  EXPECT_EQ(r.data[0], 0x05);
  ASSERT_EQ(kernel->seen.size(), 1u);
  const sg_io_hdr_t& h = kernel->seen[0];
  EXPECT_EQ(kernel->seenPaths[0], "/dev/sg4");
  EXPECT_EQ(h.interface_id, 'S');
  EXPECT_EQ(h.cmd_len, 6);
  EXPECT_EQ(h.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(h.dxfer_len, 96u);
  EXPECT_EQ(h.timeout, 42000u);
  EXPECT_GE(h.mx_sb_len, 14);
  EXPECT_GOOD(Send(1, 0, Cdb10(0x2A, 0, 0, 1), 0, std::vector<std::uint8_t>(2048, 7)));
  EXPECT_EQ(kernel->seen[1].dxfer_direction, SG_DXFER_TO_DEV);
  EXPECT_EQ(kernel->seen[1].cmd_len, 10);
  EXPECT_GOOD(Send(1, 0, {0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(kernel->seen[2].dxfer_direction, SG_DXFER_NONE);
}

TEST_F(SgIo, ResultsMapOntoTheRequestBlock) {
  struct Case {
    const char* what;
    std::function<int(sg_io_hdr_t*)> kernel;
    std::uint8_t status, host, target, key, asc;
  };
  const Case cases[] = {
      {"fixed sense",
       [](sg_io_hdr_t* h) {
         h->status = 0x02;
         h->driver_status = 0x08;
         const std::uint8_t s[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0};
         std::memcpy(h->sbp, s, sizeof s);
         h->sb_len_wr = sizeof s;
         return 0;
       },
       aspi::SS_ERR, aspi::HASTAT_OK, aspi::TARGET_CHECK_CONDITION, 5, 0x24},
      {"descriptor sense",
       [](sg_io_hdr_t* h) {
         h->status = 0x02;
         const std::uint8_t s[8] = {0x72, 0x02, 0x3A, 0x00, 0, 0, 0, 0};
         std::memcpy(h->sbp, s, sizeof s);
         h->sb_len_wr = sizeof s;
         return 0;
       },
       aspi::SS_ERR, aspi::HASTAT_OK, aspi::TARGET_CHECK_CONDITION, 2, 0x3A},
      {"busy",
       [](sg_io_hdr_t* h) {
         h->status = 0x08;
         return 0;
       },
       aspi::SS_ERR, aspi::HASTAT_OK, aspi::TARGET_BUSY, 0, 0},
      {"kernel time-out",
       [](sg_io_hdr_t* h) {
         h->host_status = 0x03;
         return 0;
       },
       aspi::SS_ERR, aspi::HASTAT_TIMEOUT, 0, 0, 0},
      {"driver time-out",
       [](sg_io_hdr_t* h) {
         h->driver_status = 0x06;
         return 0;
       },
       aspi::SS_ERR, aspi::HASTAT_TIMEOUT, 0, 0, 0},
      {"no connection",
       [](sg_io_hdr_t* h) {
         h->host_status = 0x01;
         return 0;
       },
       aspi::SS_ERR, aspi::HASTAT_SEL_TIMEOUT, 0, 0, 0},
      {"ioctl fails",
       [](sg_io_hdr_t*) {
         errno = EIO;
         return -1;
       },
       aspi::SS_ERR, aspi::HASTAT_ADAPTER_ERROR, 0, 0, 0},
      {"short read",
       [](sg_io_hdr_t* h) {
         h->resid = 32;
         return 0;
       },
       aspi::SS_COMP, aspi::HASTAT_OK, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kernel->answer = [&](const std::string&, sg_io_hdr_t* h) { return c.kernel(h); };
    Reply r = Send(1, 0, {0x12, 0, 0, 0, 96, 0}, 96);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.hostStatus, c.host);
    EXPECT_EQ(r.targetStatus, c.target);
    EXPECT_EQ(r.key, c.key);
    EXPECT_EQ(r.asc, c.asc);
  }
}

}  // namespace
}  // namespace aspitest
