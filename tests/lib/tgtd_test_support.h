// tgtd on 127.0.0.1 for the tests of the iSCSI adapter: started per test on a free port and
// its own control socket, killed and cleaned up with the fixture.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace libtest {

// tgtd on 127.0.0.1 with two logical units: LUN 1 a CD/DVD device, LUN 2 a disk.
class Tgtd {
 public:
  std::string Start(const TempDir& dir) {
    if (access("/usr/sbin/tgtd", X_OK) != 0) return "tgtd is not installed";
    port_ = FreePort();
    // tgtd takes control ports up to 32767 only.
    control_ = 20000 + getpid() % 12000;
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

}  // namespace libtest
