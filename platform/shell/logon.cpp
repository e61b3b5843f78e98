#include <security/pam_appl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/shell/shell.h"
#include "platform/text/text.h"

namespace platform::shell {
namespace {

constexpr const char* kService = "quorvabackup";

struct Credentials {
  std::string user;
  std::string password;
};

// Answers the modules' prompts: the password for hidden input, the user name for visible.
int Converse(int count, const struct pam_message** messages, struct pam_response** responses,
             void* data) {
  if (count <= 0 || !messages || !responses) return PAM_CONV_ERR;
  const auto* credentials = static_cast<const Credentials*>(data);
  auto* replies =
      static_cast<pam_response*>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
  if (!replies) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const char* answer = nullptr;
    switch (messages[i]->msg_style) {
      case PAM_PROMPT_ECHO_OFF:
        answer = credentials->password.c_str();
        break;
      case PAM_PROMPT_ECHO_ON:
        answer = credentials->user.c_str();
        break;
      case PAM_ERROR_MSG:
      case PAM_TEXT_INFO:
        continue;
      default:
        answer = nullptr;
    }
    if (answer) replies[i].resp = strdup(answer);
    if (!replies[i].resp) {
      for (int k = 0; k < i; ++k) std::free(replies[k].resp);
      std::free(replies);
      return PAM_CONV_ERR;
    }
  }
  *responses = replies;
  return PAM_SUCCESS;
}

// The transaction, ended with the last step's status.
class PamTransaction {
 public:
  PamTransaction(const std::string& user, Credentials& credentials)
      : conversation_{Converse, &credentials} {
    status_ = pam_start(kService, user.c_str(), &conversation_, &handle_);
  }
  ~PamTransaction() {
    if (handle_) pam_end(handle_, status_);
  }
  PamTransaction(const PamTransaction&) = delete;
  PamTransaction& operator=(const PamTransaction&) = delete;

  bool Started() const { return handle_ && status_ == PAM_SUCCESS; }
  bool Step(int status, const char* step, std::string* reason) {
    status_ = status;
    if (status == PAM_SUCCESS) return true;
    if (reason) *reason = std::string(step) + ": " + pam_strerror(handle_, status);
    return false;
  }
  pam_handle_t* Handle() const { return handle_; }

 private:
  struct pam_conv conversation_;
  pam_handle_t* handle_ = nullptr;
  int status_ = PAM_SUCCESS;
};

}  // namespace

bool TestLogon(std::string_view account, std::string_view password, std::string* reason) {
  std::string user(account);
  if (const auto at = account.rfind('@'); at != std::string_view::npos) {
    user = std::string(account.substr(0, at));
    const std::string_view computer = account.substr(at + 1);
    if (!text::SameTextCI(computer, ComputerName())) {
      if (reason) *reason = "another computer: " + std::string(computer);
      return false;
    }
  }
  if (user.empty()) {
    if (reason) *reason = "no account name";
    return false;
  }
  Credentials credentials{user, std::string(password)};
  PamTransaction pam(user, credentials);
  if (!pam.Started()) {
    if (reason) *reason = "pam_start failed";
    return false;
  }
  return pam.Step(pam_authenticate(pam.Handle(), PAM_SILENT), "pam_authenticate", reason) &&
         pam.Step(pam_acct_mgmt(pam.Handle(), PAM_SILENT), "pam_acct_mgmt", reason);
}

}  // namespace platform::shell
