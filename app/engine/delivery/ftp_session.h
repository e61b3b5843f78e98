// One FTP upload session behind a small interface: libcurl for a plain log-in, our own client
// for the gateway sequences libcurl cannot send. Used by UploadToFtp only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "app/engine/delivery/ftp_login.h"

struct TFtpOutcome {
  // LocalFailed: the local file could not be read; another attempt would not help.
  enum class TState { Done, NotConnected, Failed, LocalFailed, Cancelled };
  TState State = TState::Done;
  std::string Reason;  // the server's reply or the local cause

  bool Ok() const { return State == TState::Done; }
  static TFtpOutcome Success() { return {}; }
  static TFtpOutcome Fail(TState state, std::string reason) { return {state, std::move(reason)}; }
};

class IFtpSession {
 public:
  virtual ~IFtpSession() = default;
  // Connects, logs in and changes to the remote folder. NotConnected when the log-in did not
  // get through (worth another attempt), Failed when the folder could not be entered.
  virtual TFtpOutcome Open() = 0;
  // Stores the local file under the remote name in the remote folder, binary, replacing a
  // file of that name; reconnects first when the connection was lost.
  virtual TFtpOutcome Store(const std::string& posixPath, const std::string& remoteName) = 0;
  // Logs out and closes; true when a log-in had got through at some time.
  virtual bool Close() = 0;
};

// Time-outs and data-connection mode shared by both kinds of session.
struct TFtpSessionOptions {
  int TimeoutSec = 300;  // connect, every wait for a reply, and a transfer without progress
  bool Passive = true;
  std::string RemoteFolder;  // as the user gave it; empty stays in the log-in folder
};

std::unique_ptr<IFtpSession> MakeCurlFtpSession(const TFtpLoginPlan& plan,
                                                const TFtpSessionOptions& options);
std::unique_ptr<IFtpSession> MakeClientFtpSession(const TFtpLoginPlan& plan,
                                                  const TFtpSessionOptions& options);

// One transfer's events on the status-bar progress bar: shown with the byte count, the
// position following the bytes, at its maximum and hidden at the end. Counts past the range
// of the bar are scaled down.
class TTransferProgress {
 public:
  explicit TTransferProgress(std::uint64_t totalBytes);
  ~TTransferProgress();
  TTransferProgress(const TTransferProgress&) = delete;
  TTransferProgress& operator=(const TTransferProgress&) = delete;

  // False once the user has cancelled.
  bool Update(std::uint64_t doneBytes);

 private:
  int shift_ = 0;
  int maximum_ = 0;
  int position_ = -1;
};
