// A PAM service "quorvabackup" for pam_wrapper: authentication and account checks by pam_matrix
// over a password file of its own, and the environment a process needs to use it.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

class TPamMatrixService {
 public:
  TPamMatrixService();

  // One line of the password file: the user may log on to `service` with `password`.
  void AddUser(const std::string& user, const std::string& password,
               const std::string& service = "quorvabackup");

  // LD_PRELOAD (the sanitizer's runtime first when it is a shared library), PAM_WRAPPER,
  // PAM_WRAPPER_SERVICE_DIR and, under AddressSanitizer, PAM_WRAPPER_DISABLE_DEEPBIND.
  std::vector<std::string> Environment() const;

 private:
  TempDir dir_;
  std::string passdb_;
};
