// A test server: a Python script from tests/ run with Debian's python3, listening on
// 127.0.0.1 at the port it prints ("PORT <n>"). Killed when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class TServerProcess {
 public:
  // script: relative to the tests folder, e.g. "engine/servers/ftp_server.py". Throws
  // std::runtime_error when it does not start or print its port in time.
  TServerProcess(const std::string& script, const std::vector<std::string>& args);
  ~TServerProcess();
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  int Port() const { return port_; }
  // Kills the server at once (SIGKILL) and reaps it.
  void Stop();

 private:
  pid_t pid_ = -1;
  int output_ = -1;  // read end of the server's standard output, kept open while it runs
  int port_ = 0;
};

// A loopback TCP port that nothing listens on right now.
int UnusedLoopbackPort();
