// Runs the C program of tests/lib/c, which knows the library only through halvorin.h and
// libhalvorin.so, against virtual recorders and against Debian's tgtd through the iSCSI
// adapter. This process only writes the configuration the library reads and starts tgtd.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/lib/lib_test_support.h"

namespace libtest {
namespace {

std::string BuildDir() {
  const char* dir = std::getenv("QUORVA_BUILD_DIR");
  return dir ? dir : ".";
}

// Runs the program with the expected devices; its exit status is its number of failures.
int RunProgram(const std::vector<std::string>& devices, std::string* output) {
  std::string command = BuildDir() + "/lib/halvorin_c_api";
  for (const auto& d : devices) command += " '" + d + "'";
  return RunCommand(command + " 2>&1", output);
}

// tgtd on 127.0.0.1 with two logical units: LUN 1 a CD/DVD device, LUN 2 a disk.
class Tgtd {
 public:
  std::string Start(const TempDir& dir) {
    if (access("/usr/sbin/tgtd", X_OK) != 0) return "tgtd is not installed";
    port_ = FreePort();
    control_ = 20000 + getpid() % 20000;
    while (std::filesystem::exists("/var/run/tgtd/socket." + std::to_string(control_))) ++control_;
    WriteFile(dir.P("cd.img"), "");
    WriteFile(dir.P("disk.img"), std::string(1 << 20, '\0'));
    const std::string log = dir.P("tgtd.log");
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen(log.c_str(), "w", stdout)) _exit(126);
      dup2(fileno(stdout), 2);
      const std::string portal = "portal=127.0.0.1:" + std::to_string(port_);
      const std::string control = std::to_string(control_);
      execl("/usr/sbin/tgtd", "tgtd", "-f", "-C", control.c_str(), "--iscsi", portal.c_str(),
            nullptr);
      _exit(127);
    }
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
      up = Admin("--mode system --op show") == 0;
      if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!up) return "tgtd did not start: " + ReadFile(log);
    if (Admin("--lld iscsi --mode target --op new --tid 1 -T " + std::string(kIqn)) != 0 ||
        Admin("--lld iscsi --mode logicalunit --op new --tid 1 --lun 1 --backing-store " +
              dir.P("cd.img") + " --device-type cd") != 0 ||
        Admin("--lld iscsi --mode logicalunit --op new --tid 1 --lun 2 --backing-store " +
              dir.P("disk.img")) != 0 ||
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
  static constexpr const char* kIqn = "iqn.2024-01.org.quorva:halvorin-test";
  static int FreePort() {
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
  int Admin(const std::string& args) {
    return RunCommand("tgtadm -C " + std::to_string(control_) + " " + args + " >/dev/null 2>&1");
  }
  pid_t pid_ = -1;
  int port_ = 0;
  int control_ = 0;
};

class HalvorinCApi : public AspiTest {
 protected:
  void NamedRecorders(const std::vector<std::pair<std::string, Media>>& recorders) {
    std::vector<at::RecorderConfig> configs;
    for (const auto& [name, media] : recorders) {
      at::RecorderConfig c;
      c.name = name;
      c.media = media;
      configs.push_back(c);
    }
    at::ConfigureRecorders(configs);
  }
};

TEST_F(HalvorinCApi, FindsAndNamesTheVirtualRecorders) {
  NamedRecorders(
      {{"Burner-A", Media::CdR}, {"Burner-B", Media::DvdR}, {"Burner-C", Media::DvdPlusRw}});
  const std::vector<std::string> devices = {"5,0,0,Burner-A", "5,0,1,Burner-B", "5,0,2,Burner-C"};
  setenv("HALVORIN_DEBUG_OUTPUT", dir.P("trace.txt").c_str(), 1);
  std::string out;
  EXPECT_EQ(RunProgram(devices, &out), 0) << out;
  unsetenv("HALVORIN_DEBUG_OUTPUT");
  const std::string trace = ReadFile(dir.P("trace.txt"));
  EXPECT_NE(trace.find("\nHalvorin:Halvorin_UpStart(): ENTERed\n"), std::string::npos);  // on load
  EXPECT_NE(trace.find("\nHalvorin:Halvorin_FindDevice(): ENTERed"), std::string::npos);
  // Shut down by the program once and by the unload once more.
  size_t downShuts = 0;
  for (size_t at = trace.find("Halvorin:Halvorin_DownShut(): ENTERed"); at != std::string::npos;
       at = trace.find("Halvorin:Halvorin_DownShut(): ENTERed", at + 1))
    ++downShuts;
  EXPECT_EQ(downShuts, 2u);

  EXPECT_EQ(RunProgram(devices, &out), 0) << out;
  EXPECT_EQ(out.find("ENTERed"), std::string::npos) << "the trace goes nowhere by default";
}

TEST_F(HalvorinCApi, FindsTheTgtdTargetsThroughTheIscsiAdapter) {
  Tgtd tgtd;
  const std::string why = tgtd.Start(dir);
  if (!why.empty()) GTEST_SKIP() << why;
  NamedRecorders({{"Burner-A", Media::CdR}});
  at::ConfigureIscsi({tgtd.Url(1), tgtd.Url(2)});
  std::string out;
  EXPECT_EQ(RunProgram({"5,0,0,Burner-A", "5,1,0," + tgtd.Url(1), "0,2,0," + tgtd.Url(2)}, &out), 0)
      << out;
  at::ConfigureIscsi({});
}

}  // namespace
}  // namespace libtest
