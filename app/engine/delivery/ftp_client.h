// A small FTP client of our own for the gateway log-ins libcurl cannot send: one control
// connection and one data connection at a time, binary STOR only. Every wait is bounded by the
// time-out and polls the user's cancel flag; replies are read with bounded lines.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Owns one socket descriptor.
class TSocketFd {
 public:
  TSocketFd() = default;
  explicit TSocketFd(int fd) : fd_(fd) {}
  ~TSocketFd() { reset(); }
  TSocketFd(TSocketFd&& other) noexcept : fd_(other.release()) {}
  TSocketFd& operator=(TSocketFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  TSocketFd(const TSocketFd&) = delete;
  TSocketFd& operator=(const TSocketFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

class TFtpClient {
 public:
  struct TReply {
    int Code = 0;
    std::string Text;  // every line of the reply, joined by blanks, fit for the log
  };

  explicit TFtpClient(int timeoutSec);
  ~TFtpClient();
  TFtpClient(const TFtpClient&) = delete;
  TFtpClient& operator=(const TFtpClient&) = delete;

  // Each returns false with Error() set; a broken connection (time-out, closed, malformed
  // reply) is closed, a refusal by the server leaves it open.
  bool Connect(const std::string& host, int port);  // and reads the greeting
  // One command line and its reply (after any preliminary 1xx replies when finalOnly).
  bool Command(std::string_view line, TReply& reply, bool finalOnly = true);
  bool Login(const std::string& user, const std::string& password);
  bool ChangeDir(const std::string& folder);
  // Binary store of the stream's remaining bytes; progress gets the bytes sent so far and
  // returns false to stop.
  bool Store(std::FILE* file, const std::string& remoteName, bool passive,
             const std::function<bool(std::uint64_t)>& progress);
  // QUIT and close; errors are ignored.
  void Quit();

  bool IsOpen() const { return control_.valid(); }
  bool Cancelled() const { return cancelled_; }
  const std::string& Error() const { return error_; }

 private:
  enum class TWait { Ready, TimedOut, Cancelled, Failed };
  TWait WaitFor(int fd, short events);
  bool ConnectSocket(const std::string& host, int port, TSocketFd& fd);
  bool ConnectAddress(const sockaddr* address, socklen_t length, TSocketFd& fd);
  bool SendAll(int fd, const char* data, size_t size);
  bool SendLine(std::string_view line);
  bool ReadLine(std::string& line);
  bool ReadReply(TReply& reply);
  bool OpenDataConnection(bool passive, TSocketFd& data, TSocketFd& listener);
  bool AcceptData(const TSocketFd& listener, TSocketFd& data);
  bool Broken(std::string text);      // sets the error, closes the control connection
  bool Refused(const TReply& reply);  // the server said no
  void CloseControl();

  int timeoutSec_;
  TSocketFd control_;
  std::string input_;  // received, not yet read as lines
  std::string error_;
  bool cancelled_ = false;
};
