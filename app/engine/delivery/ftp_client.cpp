#include "app/engine/delivery/ftp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "app/engine/delivery/curl_handle.h"
#include "app/engine/delivery/ftp_login.h"
#include "app/engine/progress.h"

namespace {

constexpr size_t kMaxLine = 8192;     // longer reply lines end the connection
constexpr int kMaxReplyLines = 1000;  // and so do endless multi-line replies
constexpr int kMaxPreliminary = 16;   // 1xx replies before a final one
constexpr int kSliceMs = 100;         // how often a wait looks at the cancel flag
constexpr int kQuitTimeoutSec = 5;

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

int ReplyCode(std::string_view line) {
  if (line.size() < 3) return 0;
  for (int i = 0; i < 3; ++i)
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return 0;
  const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  return code >= 100 ? code : 0;
}

bool IsPositive(int code) {
  return code >= 200 && code < 300;
}

// The numbers of "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"; false when there are not six.
bool ParsePasv(std::string_view text, int& port) {
  const size_t open = text.find('(');
  // Without parentheses the numbers follow the code; a bare "227" has none.
  const size_t from = open == std::string_view::npos ? 4 : open + 1;
  if (from >= text.size()) return false;
  std::string_view rest = text.substr(from);
  std::vector<int> numbers;
  int value = -1;
  for (char c : rest) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      value = (value < 0 ? 0 : value * 10) + (c - '0');
      if (value > 255) return false;
    } else {
      if (value >= 0) numbers.push_back(value);
      value = -1;
      if (c != ',' && c != ' ' && !numbers.empty()) break;
    }
  }
  if (value >= 0) numbers.push_back(value);
  if (numbers.size() < 6) return false;
  port = numbers[4] * 256 + numbers[5];
  return port > 0;
}

// "229 Entering Extended Passive Mode (|||port|)".
bool ParseEpsv(std::string_view text, int& port) {
  const size_t at = text.find("|||");
  if (at == std::string_view::npos) return false;
  port = 0;
  size_t i = at + 3;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    port = port * 10 + (text[i] - '0');
    if (port > 65535) return false;
  }
  return i < text.size() && text[i] == '|' && port > 0;
}

}  // namespace

void TSocketFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

TFtpClient::TFtpClient(int timeoutSec) : timeoutSec_(std::max(1, timeoutSec)) {}

TFtpClient::~TFtpClient() = default;

TFtpClient::TWait TFtpClient::WaitFor(int fd, short events) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSec_);
  for (;;) {
    if (ProgressCancelled) return TWait::Cancelled;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return TWait::TimedOut;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), kSliceMs)));
    if (n > 0) return TWait::Ready;
    if (n < 0 && errno != EINTR) return TWait::Failed;
  }
}

bool TFtpClient::Broken(std::string text) {
  error_ = std::move(text);
  CloseControl();
  return false;
}

bool TFtpClient::Refused(const TReply& reply) {
  error_ = reply.Text.empty() ? std::to_string(reply.Code) : reply.Text;
  return false;
}

void TFtpClient::CloseControl() {
  control_.reset();
  input_.clear();
}

bool TFtpClient::ConnectAddress(const sockaddr* address, socklen_t length, TSocketFd& fd) {
  fd.reset(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    error_ = Errno("socket");
    return false;
  }
  if (::connect(fd.get(), address, length) == 0) return true;
  if (errno != EINPROGRESS) {
    error_ = Errno("connect");
    fd.reset();
    return false;
  }
  switch (WaitFor(fd.get(), POLLOUT)) {
    case TWait::Ready:
      break;
    case TWait::Cancelled:
      cancelled_ = true;
      error_ = "cancelled";
      fd.reset();
      return false;
    case TWait::TimedOut:
      error_ = "connection timed out";
      fd.reset();
      return false;
    case TWait::Failed:
      error_ = Errno("poll");
      fd.reset();
      return false;
  }
  int soError = 0;
  socklen_t size = sizeof soError;
  if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &size) != 0 || soError != 0) {
    error_ = std::string("connect: ") + std::strerror(soError ? soError : errno);
    fd.reset();
    return false;
  }
  return true;
}

bool TFtpClient::ConnectSocket(const std::string& host, int port, TSocketFd& fd) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) {
    error_ = "cannot resolve " + host + ": " + ::gai_strerror(rc);
    return false;
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
  for (const addrinfo* a = found; a; a = a->ai_next) {
    if (ConnectAddress(a->ai_addr, a->ai_addrlen, fd)) return true;
    if (cancelled_) return false;
  }
  error_ = "cannot connect to " + host + ":" + service + " (" + error_ + ")";
  return false;
}

bool TFtpClient::Connect(const std::string& host, int port) {
  CloseControl();
  cancelled_ = false;
  if (!ConnectSocket(host, port, control_)) return false;
  TReply reply;
  for (int i = 0;; ++i) {
    if (!ReadReply(reply)) return false;
    if (reply.Code >= 200 || i >= kMaxPreliminary) break;
  }
  if (!IsPositive(reply.Code)) {
    Refused(reply);
    CloseControl();
    return false;
  }
  return true;
}

bool TFtpClient::SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      error_ = Errno("send");
      return false;
    }
    switch (WaitFor(fd, POLLOUT)) {
      case TWait::Ready:
        break;
      case TWait::Cancelled:
        cancelled_ = true;
        error_ = "cancelled";
        return false;
      case TWait::TimedOut:
        error_ = "timed out sending to the server";
        return false;
      case TWait::Failed:
        error_ = Errno("poll");
        return false;
    }
  }
  return true;
}

bool TFtpClient::SendLine(std::string_view line) {
  if (!control_.valid()) {
    error_ = "not connected";
    return false;
  }
  if (!IsSafeFtpText(line)) {
    error_ = "line break in a command";
    return false;
  }
  std::string out(line);
  out += "\r\n";
  if (!SendAll(control_.get(), out.data(), out.size())) {
    CloseControl();
    return false;
  }
  return true;
}

bool TFtpClient::ReadLine(std::string& line) {
  for (;;) {
    const size_t end = input_.find('\n');
    if (end != std::string::npos) {
      if (end > kMaxLine) return Broken("reply line too long");
      line.assign(input_, 0, end);
      input_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (input_.size() > kMaxLine) return Broken("reply line too long");
    switch (WaitFor(control_.get(), POLLIN)) {
      case TWait::Ready:
        break;
      case TWait::Cancelled:
        cancelled_ = true;
        return Broken("cancelled");
      case TWait::TimedOut:
        return Broken("timed out waiting for the server's reply");
      case TWait::Failed:
        return Broken(Errno("poll"));
    }
    char buffer[4096];
    const ssize_t n = ::recv(control_.get(), buffer, sizeof buffer, 0);
    if (n == 0) return Broken("connection closed by the server");
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return Broken(Errno("recv"));
    }
    input_.append(buffer, static_cast<size_t>(n));
  }
}

bool TFtpClient::ReadReply(TReply& reply) {
  if (!control_.valid()) {
    error_ = "not connected";
    return false;
  }
  std::string line;
  if (!ReadLine(line)) return false;
  reply.Code = ReplyCode(line);
  if (reply.Code == 0) return Broken("malformed reply: " + CleanServerText(line));
  std::string text = line;
  if (line.size() > 3 && line[3] == '-') {
    const std::string last = line.substr(0, 3) + " ";
    for (int count = 1;; ++count) {
      if (count >= kMaxReplyLines) return Broken("reply too long");
      if (!ReadLine(line)) return false;
      if (text.size() < 1024) text += " " + line;
      if (line.compare(0, 4, last) == 0 || line == last.substr(0, 3)) break;
    }
  }
  reply.Text = CleanServerText(text);
  return true;
}

bool TFtpClient::Command(std::string_view line, TReply& reply, bool finalOnly) {
  if (!SendLine(line)) return false;
  for (int i = 0;; ++i) {
    if (!ReadReply(reply)) return false;
    if (!finalOnly || reply.Code >= 200 || i >= kMaxPreliminary) return true;
  }
}

bool TFtpClient::Login(const std::string& user, const std::string& password) {
  TReply reply;
  if (!Command("USER " + user, reply)) return false;
  if (reply.Code == 230) return true;
  if (reply.Code != 331 && reply.Code != 332) return Refused(reply);
  if (!Command("PASS " + password, reply)) return false;
  return IsPositive(reply.Code) ? true : Refused(reply);
}

bool TFtpClient::ChangeDir(const std::string& folder) {
  TReply reply;
  if (!Command("CWD " + folder, reply)) return false;
  return IsPositive(reply.Code) ? true : Refused(reply);
}

bool TFtpClient::OpenDataConnection(bool passive, TSocketFd& data, TSocketFd& listener) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  auto* sa = reinterpret_cast<sockaddr*>(&address);
  TReply reply;
  if (passive) {
    // The data connection goes to the control connection's peer, whatever address the reply
    // names: a server cannot point it elsewhere.
    if (::getpeername(control_.get(), sa, &length) != 0) return Broken(Errno("getpeername"));
    int port = 0;
    if (sa->sa_family == AF_INET) {
      if (!Command("PASV", reply)) return false;
      if (reply.Code != 227) return Refused(reply);
      if (!ParsePasv(reply.Text, port)) return Broken("malformed reply: " + reply.Text);
      reinterpret_cast<sockaddr_in*>(sa)->sin_port = htons(static_cast<uint16_t>(port));
    } else {
      if (!Command("EPSV", reply)) return false;
      if (reply.Code != 229) return Refused(reply);
      if (!ParseEpsv(reply.Text, port)) return Broken("malformed reply: " + reply.Text);
      reinterpret_cast<sockaddr_in6*>(sa)->sin6_port = htons(static_cast<uint16_t>(port));
    }
    if (!ConnectAddress(sa, length, data)) {
      if (!cancelled_) error_ = "data connection: " + error_;
      return false;
    }
    return true;
  }

  // Active: listen on the control connection's own address and tell the server where.
  if (::getsockname(control_.get(), sa, &length) != 0) return Broken(Errno("getsockname"));
  if (sa->sa_family == AF_INET)
    reinterpret_cast<sockaddr_in*>(sa)->sin_port = 0;
  else
    reinterpret_cast<sockaddr_in6*>(sa)->sin6_port = 0;
  listener.reset(::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener.valid()) {
    error_ = Errno("socket");
    return false;
  }
  if (::bind(listener.get(), sa, length) != 0 || ::listen(listener.get(), 1) != 0 ||
      ::getsockname(listener.get(), sa, &length) != 0) {
    error_ = Errno("listen");
    return false;
  }
  char host[INET6_ADDRSTRLEN] = {};
  std::string command;
  if (sa->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    ::inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    std::string dotted = host;
    std::replace(dotted.begin(), dotted.end(), '.', ',');
    const int port = ntohs(in->sin_port);
    command =
        "PORT " + dotted + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
  } else {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
    command = "EPRT |2|" + std::string(host) + "|" + std::to_string(ntohs(in6->sin6_port)) + "|";
  }
  if (!Command(command, reply)) return false;
  return IsPositive(reply.Code) ? true : Refused(reply);
}

bool TFtpClient::AcceptData(const TSocketFd& listener, TSocketFd& data) {
  switch (WaitFor(listener.get(), POLLIN)) {
    case TWait::Ready:
      break;
    case TWait::Cancelled:
      cancelled_ = true;
      return Broken("cancelled");
    case TWait::TimedOut:
      return Broken("timed out waiting for the server's data connection");
    case TWait::Failed:
      return Broken(Errno("poll"));
  }
  data.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!data.valid()) return Broken(Errno("accept"));
  return true;
}

bool TFtpClient::Store(std::FILE* file, const std::string& remoteName, bool passive,
                       const std::function<bool(std::uint64_t)>& progress) {
  TReply reply;
  if (!Command("TYPE I", reply)) return false;
  if (!IsPositive(reply.Code)) return Refused(reply);
  TSocketFd data;
  TSocketFd listener;
  if (!OpenDataConnection(passive, data, listener)) return false;
  if (!Command("STOR " + remoteName, reply, false)) return false;
  if (reply.Code >= 200) {
    // A refusal keeps the session usable; anything else leaves it in an unknown state.
    if (reply.Code >= 400) return Refused(reply);
    return Broken("unexpected reply: " + reply.Text);
  }
  if (!passive && !AcceptData(listener, data)) return false;
  listener.reset();

  std::vector<char> buffer(64 * 1024);
  std::uint64_t sent = 0;
  for (;;) {
    const size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
    if (n > 0) {
      if (!SendAll(data.get(), buffer.data(), n)) {
        data.reset();
        return Broken(error_);
      }
      sent += n;
      if (!progress(sent)) {
        cancelled_ = true;
        data.reset();
        return Broken("cancelled");
      }
    }
    if (n < buffer.size()) {
      if (std::ferror(file)) {
        data.reset();
        return Broken("cannot read the local file");
      }
      break;
    }
  }
  data.reset();  // end of file for the server
  for (int i = 0;; ++i) {
    if (!ReadReply(reply)) return false;
    if (reply.Code >= 200 || i >= kMaxPreliminary) break;
  }
  return IsPositive(reply.Code) ? true : Refused(reply);
}

void TFtpClient::Quit() {
  if (!control_.valid()) return;
  const int saved = timeoutSec_;
  timeoutSec_ = std::min(timeoutSec_, kQuitTimeoutSec);
  TReply reply;
  Command("QUIT", reply);
  timeoutSec_ = saved;
  CloseControl();
}
