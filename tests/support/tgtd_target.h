// Debian's tgtd on 127.0.0.1 for the tests that reach a drive through the iSCSI adapter: one
// target on a free portal port with its own control socket, its logical units backed by files
// in the test's folder. Killed and cleaned up with the object.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"

class TTgtdTarget {
 public:
  TTgtdTarget() = default;
  TTgtdTarget(const TTgtdTarget&) = delete;
  TTgtdTarget& operator=(const TTgtdTarget&) = delete;
  ~TTgtdTarget() { Stop(); }

  static bool Installed() {
    return access("/usr/sbin/tgtd", X_OK) == 0 && access("/usr/sbin/tgtadm", X_OK) == 0;
  }

  // LUN 1: a CD/DVD unit on "cd.img" (empty: a blank disc); LUN 2: a 1 MB disk on "disk.img".
  // Empty when the target is up, else why not.
  std::string Start(const TempDir& dir) {
    if (!Installed()) return "tgtd is not installed";
    cd_ = dir.P("cd.img");
    WriteFile(cd_, "");
    WriteFile(dir.P("disk.img"), std::string(1 << 20, '\0'));
    const std::string log = dir.P("tgtd.log");
    // tgtd takes control ports up to 32767 only; another test's daemon may hold the next one,
    // or take the portal port between its pick and tgtd's bind: then try again.
    control_ = 20000 + getpid() % 12000;
    std::string why;
    for (int attempt = 0; attempt < 5; ++attempt, ++control_) {
      while (std::filesystem::exists(Socket())) ++control_;
      why = Launch(log);
      if (why.empty()) break;
      Stop();
    }
    if (!why.empty()) return why;
    if (Admin("--lld iscsi --mode target --op new --tid 1 -T " + std::string(kIqn)) != 0 ||
        Admin("--lld iscsi --mode logicalunit --op new --tid 1 --lun 1 --backing-store " + cd_ +
              " --device-type cd") != 0 ||
        Admin("--lld iscsi --mode logicalunit --op new --tid 1 --lun 2 --backing-store " +
              dir.P("disk.img")) != 0 ||
        Admin("--lld iscsi --mode target --op bind --tid 1 -I 127.0.0.1") != 0)
      return "tgtadm could not set up the target: " + ReadFile(log);
    return "";
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    std::filesystem::remove(Socket());
    std::filesystem::remove(Socket() + ".lock");
  }

  // A disc laid into the CD/DVD unit's open tray: LUN 1 again, on `backing` (an empty file: a
  // blank disc), without medium until the tray is loaded.
  std::string PutDiscInOpenTray(const std::string& backing) {
    if (Admin("--lld iscsi --mode logicalunit --op delete --tid 1 --lun 1") != 0 ||
        Admin("--lld iscsi --mode logicalunit --op new --tid 1 --lun 1 --backing-store " + backing +
              " --device-type cd") != 0 ||
        Admin("--lld iscsi --mode logicalunit --op update --tid 1 --lun 1 --params online=0") != 0)
      return "tgtadm could not change the disc";
    cd_ = backing;
    return "";
  }

  std::string Url(int lun) const {
    return "iscsi://127.0.0.1:" + std::to_string(port_) + "/" + kIqn + "/" + std::to_string(lun);
  }
  // The file behind the CD/DVD unit: the disc as the unit holds it.
  const std::string& CdImage() const { return cd_; }

 private:
  static constexpr const char* kIqn = "iqn.2024-01.org.quorva:halvorin-test";

  std::string Socket() const { return "/var/run/tgtd/socket." + std::to_string(control_); }

  // Starts the daemon and waits until it answers on its own control socket.
  std::string Launch(const std::string& log) {
    port_ = UnusedLoopbackPort();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // no daemon outlives a crashed test
      if (!freopen(log.c_str(), "w", stdout)) _exit(126);
      dup2(fileno(stdout), 2);
      const std::string portal = "portal=127.0.0.1:" + std::to_string(port_);
      const std::string control = std::to_string(control_);
      execl("/usr/sbin/tgtd", "tgtd", "-f", "-C", control.c_str(), "--iscsi", portal.c_str(),
            nullptr);
      _exit(127);
    }
    if (pid_ < 0) return "fork failed";
    for (int i = 0; i < 200; ++i) {
      // A daemon that ended (lock or port taken) must not be mistaken for another one.
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return "tgtd ended at start: " + ReadFile(log);
      }
      if (Admin("--mode system --op show") == 0) return "";
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "tgtd did not start: " + ReadFile(log);
  }

  int Admin(const std::string& args) {
    return RunCommand("/usr/sbin/tgtadm -C " + std::to_string(control_) + " " + args +
                      " >/dev/null 2>&1");
  }

  pid_t pid_ = -1;
  int port_ = 0;
  int control_ = 0;
  std::string cd_;
};
