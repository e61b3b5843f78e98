#include "tests/support/server_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

constexpr int kStartTimeoutMs = 30000;

// Reads "PORT <n>\n" from the server's output; 0 when it does not come in time.
int ReadPort(int fd) {
  std::string line;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (line.find('\n') == std::string::npos && line.size() < 256) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    const int n = poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    char c;
    const ssize_t r = read(fd, &c, 1);
    if (r <= 0) return 0;
    line += c;
  }
  if (line.rfind("PORT ", 0) != 0) return 0;
  return std::atoi(line.c_str() + 5);
}

}  // namespace

TServerProcess::TServerProcess(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {QUORVA_PYTHON, "-u",
                                   std::string(QUORVA_TEST_SOURCE_DIR) + "/" + script};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    // The server must not outlive a test process that dies.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(pipeFds[1], STDOUT_FILENO);
    closefrom(STDERR_FILENO + 1);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  output_ = pipeFds[0];
  port_ = ReadPort(output_);
  if (port_ <= 0) {
    Stop();
    throw std::runtime_error("server " + script + " did not start");
  }
}

TServerProcess::~TServerProcess() {
  Stop();
}

void TServerProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  if (output_ >= 0) {
    close(output_);
    output_ = -1;
  }
}

int UnusedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  close(fd);
  return ntohs(a.sin_port);
}
