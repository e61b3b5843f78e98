// The iSCSI adapter against Debian's tgtd on 127.0.0.1: a virtual CD/DVD logical unit backed
// by a file, written and read back through the ASPI entry points.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/aspi/aspi_test_support.h"

namespace aspitest {
namespace {

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

const char* kIqn = "iqn.2024-01.org.quorva:recorder";

class Tgtd {
 public:
  // Empty string when it runs; otherwise why not.
  std::string Start(const std::string& backing, const std::string& log) {
    if (access("/usr/sbin/tgtd", X_OK) != 0) return "tgtd is not installed";
    port_ = FreePort();
    control_ = 1000 + getpid() % 30000;  // tgtd takes control ports up to 32767
    while (std::filesystem::exists("/var/run/tgtd/socket." + std::to_string(control_))) ++control_;
    pid_ = fork();
    if (pid_ == 0) {
      freopen(log.c_str(), "w", stdout);
      dup2(fileno(stdout), 2);
      const std::string portal = "portal=127.0.0.1:" + std::to_string(port_);
      const std::string ctl = std::to_string(control_);
      execl("/usr/sbin/tgtd", "tgtd", "-f", "-C", ctl.c_str(), "--iscsi", portal.c_str(), nullptr);
      _exit(127);
    }
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
      up = Admin("--mode system --op show") == 0;
      if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!up) return "tgtd did not start: " + ReadFile(log);
    if (Admin(std::string("--lld iscsi --mode target --op new --tid 1 -T ") + kIqn) != 0 ||
        Admin("--lld iscsi --mode logicalunit --op new --tid 1 --lun 1 --backing-store " + backing +
              " --device-type cd") != 0 ||
        Admin("--lld iscsi --mode target --op bind --tid 1 -I 127.0.0.1") != 0)
      return "tgtadm could not set up the target";
    return "";
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    const std::string socket = "/var/run/tgtd/socket." + std::to_string(control_);
    std::filesystem::remove(socket);
    std::filesystem::remove(socket + ".lock");
  }
  ~Tgtd() { Stop(); }
  std::string Url(int lun) const {
    return "iscsi://127.0.0.1:" + std::to_string(port_) + "/" + kIqn + "/" + std::to_string(lun);
  }

 private:
  int Admin(const std::string& args) {
    return RunCommand("tgtadm -C " + std::to_string(control_) + " " + args + " >/dev/null");
  }
  pid_t pid_ = -1;
  int port_ = 0;
  int control_ = 0;
};

class Iscsi : public AspiTest {
 protected:
  void SetUp() override {
    AspiTest::SetUp();
    WriteFile(dir.P("backing.img"), "");
    const std::string why = tgtd.Start(dir.P("backing.img"), dir.P("tgtd.log"));
    if (!why.empty()) GTEST_SKIP() << why;
    at::ConfigureIscsi({tgtd.Url(1)});
    ha = 1;  // after the virtual recorders
  }
  void TearDown() override {
    at::ConfigureIscsi({});
    tgtd.Stop();
    AspiTest::TearDown();
  }
  Tgtd tgtd;
  std::uint8_t ha = 1;
};

TEST_F(Iscsi, AdapterMapsTargetZeroToTheUrlsUnit) {
  aspi::SrbHaInquiry inq;
  inq.header.hostAdapter = ha;
  ASSERT_EQ(aspi::SendASPI32Command(&inq.header), aspi::SS_COMP);
  EXPECT_STREQ(inq.adapterId, "ISCSI");
  Reply r = Send(ha, 0, {0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_GOOD(r);
  EXPECT_EQ(r.data[0] & 0x1F, 0x05);
  EXPECT_EQ(Send(ha, 1, {0x12, 0, 0, 0, 96, 0}, 96).status, aspi::SS_NO_DEVICE);
  aspi::SrbGetSymbolicName name;
  name.header.hostAdapter = ha;
  ASSERT_EQ(aspi::SendASPI32Command(&name.header), aspi::SS_COMP);
  EXPECT_EQ(std::string(name.name), tgtd.Url(1));
}

TEST_F(Iscsi, WriteReadRoundTripLandsInTheBackingFile) {
  WriteFile(dir.P("src/a.txt"), std::string(70000, 'a'));
  ASSERT_EQ(RunCommand("xorriso -as mkisofs -quiet -V QUORVABACKUP -o " + dir.P("src.iso") + " " +
                       dir.P("src")),
            0);
  const std::string iso = ReadFile(dir.P("src.iso"));
  const auto blocks = static_cast<std::uint32_t>(iso.size() / 2048);

  Reply config = Send(ha, 0, {0x46, 0x02, 0, 0, 0, 0, 0, 0x10, 0, 0}, 4096);
  ASSERT_GOOD(config);
  EXPECT_EQ(config.U16(6), 0x001Bu);  // an empty backing file is a blank DVD+R
  for (std::uint32_t lba = 0; lba < blocks; lba += 16) {
    const std::uint32_t n = std::min<std::uint32_t>(16, blocks - lba);
    std::vector<std::uint8_t> chunk(iso.begin() + lba * 2048, iso.begin() + (lba + n) * 2048);
    Reply w = Send(ha, 0, Cdb10(0x2A, 0, lba, static_cast<std::uint16_t>(n)), 0, chunk);
    ASSERT_GOOD(w);
  }
  EXPECT_GOOD(Send(ha, 0, Cdb10(0x35)));
  // The library's DVD+R close: the track, then finalize; the unit then reads as a DVD-ROM.
  EXPECT_GOOD(Send(ha, 0, {0x5B, 1, 1, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_GOOD(Send(ha, 0, {0x5B, 1, 5, 0, 0, 0, 0, 0, 0, 0}));
  Reply cap = Send(ha, 0, Cdb10(0x25), 8);
  ASSERT_GOOD(cap);
  EXPECT_EQ(cap.U32(0), blocks - 1);
  std::string back;
  for (std::uint32_t lba = 0; lba < blocks; lba += 16) {
    const std::uint32_t n = std::min<std::uint32_t>(16, blocks - lba);
    Reply r = Send(ha, 0, Cdb10(0x28, 0, lba, static_cast<std::uint16_t>(n)), n * 2048);
    ASSERT_GOOD(r);
    back.append(r.data.begin(), r.data.end());
  }
  EXPECT_EQ(back, iso);

  std::string out;
  EXPECT_EQ(RunCommand("xorriso -indev " + dir.P("backing.img") + " -toc", &out), 0) << out;
  EXPECT_NE(out.find("QUORVABACKUP"), std::string::npos) << out;
}

TEST_F(Iscsi, RefusalsArriveWithTheirSense) {
  Reply opc = Send(ha, 0, Cdb10(0x54, 1));
  EXPECT_EQ(opc.status, aspi::SS_ERR);
  EXPECT_EQ(opc.targetStatus, aspi::TARGET_CHECK_CONDITION);
  EXPECT_EQ(opc.key, 5);
  EXPECT_NE(opc.asc, 0);
}

}  // namespace
}  // namespace aspitest
