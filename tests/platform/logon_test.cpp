#include <gtest/gtest.h>

#include <string>

#include "platform/shell/shell.h"
#include "platform/text/text.h"
#include "tests/support/child_process.h"
#include "tests/support/pam_matrix_service.h"

namespace {

using platform::shell::ComputerName;
using platform::shell::TestLogon;

// Outside the wrapper nothing reaches PAM for another computer.
TEST(TestLogonTest, AnotherComputerFailsWithoutAskingPam) {
  std::string reason;
  EXPECT_FALSE(TestLogon("ann@not-" + ComputerName(), "pw", &reason));
  EXPECT_EQ(reason, "another computer: not-" + ComputerName());
  EXPECT_FALSE(TestLogon("@" + ComputerName(), "pw", &reason));
  EXPECT_EQ(reason, "no account name");
}

// Runs the cases below in a child under pam_wrapper with pam_matrix.
TEST(TestLogonTest, UnderPamWrapper) {
  if (IsTestChild()) GTEST_SKIP() << "the child runs the cases";
  TPamMatrixService pam;
  pam.AddUser("qvpassdbonly", "s3cret pass");
  pam.AddUser("qvother", "other", "someservice");
  std::string out;
  EXPECT_EQ(RunThisProgram("TestLogonUnderWrapper.*", pam.Environment(), &out), 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

TEST(TestLogonUnderWrapper, Cases) {
  if (!IsTestChild()) GTEST_SKIP() << "run by TestLogonTest.UnderPamWrapper";
  const std::string host = ComputerName();
  struct Case {
    std::string account, password;
    bool ok;
    std::string reason;  // its start, for a failure
  };
  const Case cases[] = {
      // Only pam_matrix knows this user: success shows the wrapper is in effect.
      {"qvpassdbonly@" + host, "s3cret pass", true, ""},
      {"qvpassdbonly@" + platform::text::UpperCase(host), "s3cret pass", true, ""},
      {"qvpassdbonly", "s3cret pass", true, ""},
      {"qvpassdbonly@" + host, "wrong", false, "pam_authenticate: "},
      {"qvpassdbonly@" + host, "", false, "pam_authenticate: "},
      {"nobody-here@" + host, "s3cret pass", false, "pam_authenticate: "},
      {"qvother@" + host, "other", false, "pam_acct_mgmt: "},
      {"qvpassdbonly@elsewhere", "s3cret pass", false, "another computer: "},
      // The last "@" splits: the name may hold one.
      {"qvpassdbonly@mail@" + host, "s3cret pass", false, "pam_authenticate: "},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_EQ(TestLogon(c.account, c.password, &reason), c.ok) << c.account << " " << reason;
    if (!c.ok) {
      EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << c.account << ": " << reason;
    }
  }
}

}  // namespace
