// The session for a plain log-in, on libcurl's FTP client.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "app/engine/delivery/curl_handle.h"
#include "app/engine/delivery/ftp_curl_options.h"
#include "app/engine/delivery/ftp_session.h"
#include "app/engine/delivery/ftp_volume_file.h"
#include "app/engine/progress.h"

namespace {

using TState = TFtpOutcome::TState;

// The remote folder as URL path, ending in "/" (empty for the log-in folder). Each part is
// escaped; an absolute folder starts with an escaped "/", so that libcurl's single CWD gets
// the folder exactly as the user gave it.
std::string FolderUrlPath(CURL* curl, std::string_view folder) {
  if (folder.empty()) return {};
  const bool absolute = folder.front() == '/';
  std::string path = absolute ? "%2F" : "";
  bool any = false;
  while (!folder.empty()) {
    const size_t slash = folder.find('/');
    const std::string_view part = folder.substr(0, slash);
    if (!part.empty()) {
      if (any) path += '/';
      path += FtpUrlEscape(curl, part);
      any = true;
    }
    if (slash == std::string_view::npos) break;
    folder.remove_prefix(slash + 1);
  }
  return path + "/";
}

class TCurlFtpSession final : public IFtpSession {
 public:
  TCurlFtpSession(const TFtpLoginPlan& plan, const TFtpSessionOptions& options)
      : plan_(plan), options_(options) {
    base_ = "ftp://" + FtpUrlHost(plan.Host) + ":" + std::to_string(plan.Port) + "/";
    Reset();
  }

  TFtpOutcome Open() override {
    if (!curl_) Reset();
    CURL* h = curl_->get();
    curl_easy_setopt(h, CURLOPT_URL, (base_ + folder_).c_str());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);  // log in and change folder, nothing else
    return Perform();
  }

  TFtpOutcome Store(const std::string& posixPath, const std::string& remoteName) override {
    if (!curl_) Reset();
    const TVolumeFile file = OpenVolumeForUpload(posixPath);
    struct stat st {};
    if (!file || ::fstat(fileno(file.get()), &st) != 0)
      return TFtpOutcome::Fail(TState::LocalFailed, "cannot open " + posixPath);
    CURL* h = curl_->get();
    const std::string url = base_ + folder_ + FtpUrlEscape(h, remoteName);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &TCurlFtpSession::OnRead);
    curl_easy_setopt(h, CURLOPT_READDATA, file.get());
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
    TTransferProgress progress(static_cast<std::uint64_t>(std::max<off_t>(0, st.st_size)));
    progress_ = &progress;
    TFtpOutcome outcome = Perform();
    progress_ = nullptr;
    if (outcome.State == TState::NotConnected) outcome.State = TState::Failed;
    return outcome;
  }

  bool Close() override {
    curl_.reset();  // sends QUIT on a live connection
    return everConnected_;
  }

 private:
  void Reset() {
    curl_ = std::make_unique<TCurlHandle>();
    CURL* h = curl_->get();
    const long timeout = std::max(1, options_.TimeoutSec);
    folder_ = FolderUrlPath(h, options_.RemoteFolder);
    SetFtpLoginOptions(h, plan_.Steps.front().User, plan_.Steps.front().Password, timeout,
                       options_.Passive);
    curl_easy_setopt(h, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &TCurlFtpSession::OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &TCurlFtpSession::OnLoggedIn);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, this);
  }

  TFtpOutcome Perform() {
    curl_->ResetTrace();
    loggedIn_ = false;
    const CURLcode code = curl_easy_perform(curl_->get());
    if (code == CURLE_OK) return TFtpOutcome::Success();
    if (code == CURLE_ABORTED_BY_CALLBACK && ProgressCancelled)
      return TFtpOutcome::Fail(TState::Cancelled, "cancelled");
    return TFtpOutcome::Fail(loggedIn_ ? TState::Failed : TState::NotConnected,
                             curl_->FailureText(code));
  }

  static size_t OnRead(char* buffer, size_t size, size_t count, void* file) {
    const size_t n = std::fread(buffer, size, count, static_cast<std::FILE*>(file));
    return n == 0 && std::ferror(static_cast<std::FILE*>(file)) ? CURL_READFUNC_ABORT : n;
  }

  // Called once the connection is up and logged in, before the folder and the transfer.
  static int OnLoggedIn(void* self, char*, char*, int, int) {
    auto* me = static_cast<TCurlFtpSession*>(self);
    me->loggedIn_ = true;
    me->everConnected_ = true;
    return CURL_PREREQFUNC_OK;
  }

  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
    auto* me = static_cast<TCurlFtpSession*>(self);
    if (me->progress_) return me->progress_->Update(static_cast<std::uint64_t>(sent)) ? 0 : 1;
    return ProgressCancelled ? 1 : 0;
  }

  TFtpLoginPlan plan_;
  TFtpSessionOptions options_;
  std::string base_;
  std::string folder_;
  std::unique_ptr<TCurlHandle> curl_;
  TTransferProgress* progress_ = nullptr;
  bool loggedIn_ = false;
  bool everConnected_ = false;
};

}  // namespace

std::unique_ptr<IFtpSession> MakeCurlFtpSession(const TFtpLoginPlan& plan,
                                                const TFtpSessionOptions& options) {
  return std::make_unique<TCurlFtpSession>(plan, options);
}
