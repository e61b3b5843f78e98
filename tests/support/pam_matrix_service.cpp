#include "tests/support/pam_matrix_service.h"

#include <fstream>

#include "tests/support/child_process.h"

TPamMatrixService::TPamMatrixService() : passdb_(dir_.P("passdb")) {
  WriteFile(passdb_, "");
  const std::string module = std::string(QUORVA_PAM_MODULE_DIR) + "/pam_matrix.so";
  WriteFile(dir_.P("services/quorvabackup"), "auth required " + module + " passdb=" + passdb_ +
                                                 "\n" + "account required " + module +
                                                 " passdb=" + passdb_ + "\n");
}

void TPamMatrixService::AddUser(const std::string& user, const std::string& password,
                                const std::string& service) {
  std::ofstream(passdb_, std::ios::app) << user << ":" << password << ":" << service << "\n";
}

std::vector<std::string> TPamMatrixService::Environment() const {
  std::string preload = QUORVA_PAM_WRAPPER_LIBRARY;
  if (const std::string runtime = SanitizerRuntimeLibrary(); !runtime.empty())
    preload = runtime + " " + preload;
  std::vector<std::string> env = {"LD_PRELOAD=" + preload, "PAM_WRAPPER=1",
                                  "PAM_WRAPPER_SERVICE_DIR=" + dir_.P("services")};
  if (BuiltWithAddressSanitizer()) env.push_back("PAM_WRAPPER_DISABLE_DEEPBIND=1");
  return env;
}
