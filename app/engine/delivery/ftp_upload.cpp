#include "app/engine/delivery/ftp_upload.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string_view>
#include <thread>

#include "app/engine/delivery/ftp_login.h"
#include "app/engine/delivery/ftp_session.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"

namespace {

using TState = TFtpOutcome::TState;

constexpr std::int64_t kUnlimitedRetries = 99'999'999;
constexpr std::string_view kFailed = "Failed to upload to ftp server ";

// Waits between attempts in short slices; false when the user cancelled meanwhile.
bool WaitBeforeRetry(int delaySec) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(std::max(0, delaySec));
  while (!ProgressCancelled) {
    const auto now = Clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(100)));
  }
  return false;
}

void LogFailure(const TFtpOutcome& outcome, std::string_view file = {}) {
  std::string line(kFailed);
  line += "(" + outcome.Reason + ")";
  if (!file.empty()) line += " " + std::string(file);
  LogError(line);
}

class TRetryPolicy {
 public:
  explicit TRetryPolicy(const TGlobalSetting& settings)
      : retries_(!settings.AutoRetry         ? 0
                 : settings.UnlimitedRetries ? kUnlimitedRetries
                                             : std::max<std::int64_t>(0, settings.RetryCount)),
        delaySec_(settings.ReconnectDelaySec) {}

  // Runs the attempt, and again after each delay while it fails in a way worth retrying.
  template <typename TAttempt, typename TRetryable>
  TFtpOutcome Run(TAttempt attempt, TRetryable retryable) const {
    TFtpOutcome outcome = attempt();
    for (std::int64_t i = 0; i < retries_ && retryable(outcome); ++i) {
      LogDebug("FTP attempt failed (" + outcome.Reason + "), retrying");
      if (!WaitBeforeRetry(delaySec_)) return TFtpOutcome::Fail(TState::Cancelled, "cancelled");
      outcome = attempt();
    }
    return outcome;
  }

 private:
  std::int64_t retries_;
  int delaySec_;
};

bool Deliver(IFtpSession& session, const std::vector<std::string>& volumeNames,
             const TRetryPolicy& policy) {
  LogStatus("Connecting to FTP server...");
  const TFtpOutcome opened =
      policy.Run([&] { return session.Open(); },
                 [](const TFtpOutcome& o) { return o.State == TState::NotConnected; });
  if (opened.State == TState::NotConnected || opened.State == TState::Cancelled) {
    LogFailure(opened);
    return false;
  }
  LogStatus("FTP server is connected.");
  ProgressCaption = "Uploading files...";
  ProgressPosition = 0;
  if (!opened.Ok()) {
    LogFailure(opened);
    return false;
  }

  bool all = true;
  for (const std::string& name : volumeNames) {
    ProgressStatus = name;
    UserInterface()->SetStatusPanel(1, "Uploading " + name);
    LogStatus("Uploading " + name);
    const auto posix = platform::fs::ToPosix(name);
    const std::string remoteName = platform::fs::FileNamePart(name);
    TFtpOutcome stored;
    if (!posix || remoteName.empty() || !IsSafeFtpText(remoteName)) {
      stored = TFtpOutcome::Fail(TState::LocalFailed, "invalid file name");
    } else {
      stored = policy.Run([&] { return session.Store(*posix, remoteName); },
                          [](const TFtpOutcome& o) {
                            return o.State == TState::NotConnected || o.State == TState::Failed;
                          });
    }
    if (stored.State == TState::Cancelled) {
      LogFailure(stored);
      return false;
    }
    if (!stored.Ok()) {
      LogFailure(stored, name);
      all = false;
    }
  }
  ProgressPosition = 100;
  return all;
}

}  // namespace

bool UploadToFtp(const std::vector<std::string>& volumeNames, const TProject& project,
                 const TGlobalSetting& settings) {
  if (volumeNames.empty()) return true;
  const TFtpLoginPlan plan = PlanFtpLogin(project);
  if (!plan.Error.empty()) {
    LogFailure(TFtpOutcome::Fail(TState::Failed, plan.Error));
    return false;
  }
  TFtpSessionOptions options;
  options.TimeoutSec = std::max(1, settings.NetworkTimeoutSec);
  options.Passive = project.FtpPassive;
  options.RemoteFolder = project.DestinationFile;
  std::unique_ptr<IFtpSession> session = plan.IsSingleLogin() ? MakeCurlFtpSession(plan, options)
                                                              : MakeClientFtpSession(plan, options);
  const bool ok = Deliver(*session, volumeNames, TRetryPolicy(settings));
  if (session->Close()) LogStatus("Disconnected from FTP server.");
  return ok;
}
