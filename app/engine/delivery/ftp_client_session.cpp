// The session for the gateway log-in sequences, on our own client.
#include <cstdio>
#include <memory>

#include "app/engine/delivery/ftp_client.h"
#include "app/engine/delivery/ftp_session.h"
#include "app/engine/delivery/ftp_volume_file.h"

namespace {

using TState = TFtpOutcome::TState;

class TClientFtpSession final : public IFtpSession {
 public:
  TClientFtpSession(const TFtpLoginPlan& plan, const TFtpSessionOptions& options)
      : plan_(plan), options_(options) {}

  TFtpOutcome Open() override {
    client_ = std::make_unique<TFtpClient>(options_.TimeoutSec);
    if (!client_->Connect(plan_.Host, plan_.Port)) return Lost(TState::NotConnected);
    for (const TFtpLoginStep& step : plan_.Steps) {
      bool ok = false;
      if (step.Kind == TFtpLoginStep::TKind::Login) {
        ok = client_->Login(step.User, step.Password);
      } else {
        TFtpClient::TReply reply;
        ok = client_->Command(step.Command, reply);
        if (ok && (reply.Code < 200 || reply.Code >= 300)) {
          client_->Quit();
          return TFtpOutcome::Fail(TState::NotConnected, reply.Text);
        }
      }
      if (!ok) {
        TFtpOutcome outcome = Lost(TState::NotConnected);
        client_->Quit();
        return outcome;
      }
    }
    everConnected_ = true;
    if (!options_.RemoteFolder.empty() && !client_->ChangeDir(options_.RemoteFolder))
      return Lost(TState::Failed);
    return TFtpOutcome::Success();
  }

  TFtpOutcome Store(const std::string& posixPath, const std::string& remoteName) override {
    if (!client_ || !client_->IsOpen()) {
      TFtpOutcome opened = Open();
      if (!opened.Ok()) return opened;
    }
    const TVolumeFile file = OpenVolumeForUpload(posixPath);
    if (!file) return TFtpOutcome::Fail(TState::LocalFailed, "cannot open " + posixPath);
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::rewind(file.get());
    TTransferProgress progress(size > 0 ? static_cast<std::uint64_t>(size) : 0);
    const bool ok = client_->Store(file.get(), remoteName, options_.Passive,
                                   [&](std::uint64_t done) { return progress.Update(done); });
    return ok ? TFtpOutcome::Success() : Lost(TState::Failed);
  }

  bool Close() override {
    if (client_) client_->Quit();
    client_.reset();
    return everConnected_;
  }

 private:
  TFtpOutcome Lost(TState state) const {
    if (client_->Cancelled()) return TFtpOutcome::Fail(TState::Cancelled, "cancelled");
    return TFtpOutcome::Fail(state, client_->Error());
  }

  TFtpLoginPlan plan_;
  TFtpSessionOptions options_;
  std::unique_ptr<TFtpClient> client_;
  bool everConnected_ = false;
};

}  // namespace

std::unique_ptr<IFtpSession> MakeClientFtpSession(const TFtpLoginPlan& plan,
                                                  const TFtpSessionOptions& options) {
  return std::make_unique<TClientFtpSession>(plan, options);
}
