// Replies of an FTP server as our own client reads them: a server on 127.0.0.1 sends the
// input as everything it has to say and closes; the client connects, logs in, changes folder
// and stores a small file in passive mode. Any result is fine; a crash, a leak or a hang is not.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/engine/delivery/ftp_client.h"

namespace {

struct Server {
  int listener = -1;
  int port = 0;
};

const Server& Listener() {
  static const Server server = [] {
    Server s;
    s.listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (s.listener < 0 || bind(s.listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(s.listener, 16) != 0 ||
        getsockname(s.listener, reinterpret_cast<sockaddr*>(&a), &n) != 0)
      std::abort();
    s.port = ntohs(a.sin_port);
    return s;
  }();
  return server;
}

// Closes whatever is still waiting to be accepted: a passive reply may name this very port.
void Drain(int listener) {
  const int flags = fcntl(listener, F_GETFL);
  fcntl(listener, F_SETFL, flags | O_NONBLOCK);
  for (int fd; (fd = accept(listener, nullptr, nullptr)) >= 0;) close(fd);
  fcntl(listener, F_SETFL, flags);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Server& server = Listener();
  std::thread peer([&] {
    const int fd = accept4(server.listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    for (size_t sent = 0; sent < size;) {
      const ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    char sink[4096];
    while (recv(fd, sink, sizeof sink, 0) > 0) {
    }
    close(fd);
  });
  {
    TFtpClient client(1);
    if (client.Connect("127.0.0.1", server.port) && client.Login("user", "secret") &&
        client.ChangeDir("backups")) {
      std::FILE* file = std::tmpfile();
      if (file) {
        std::fputs("archive bytes", file);
        std::rewind(file);
        client.Store(file, "job.qvp", true, [](std::uint64_t) { return true; });
        std::fclose(file);
      }
    }
    client.Quit();
  }
  peer.join();
  Drain(server.listener);
  return 0;
}
