#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/backup/notification_mail.h"
#include "app/engine/project/project.h"
#include "platform/shell/shell.h"
#include "tests/engine/delivery/ftp_test_support.h"
#include "tests/support/json_value.h"
#include "tests/support/server_process.h"

namespace {

constexpr double kRunStarted = 45000.5;  // 15 March 2023, noon

std::string RunTimeText() {
  return "[" +
         platform::shell::FormatShortDateLongTime(platform::shell::UnixFromDateTime(kRunStarted)) +
         "]";
}

class MailTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    std::filesystem::create_directories(out_);
    project_.Name = "Nightly";
    project_.SmtpHost = "127.0.0.1";
    project_.MailAddress = "backup@example.org";
    project_.MailExtraRecipients =
        "ann@example.org; bob@example.org,carl@example.org  dora@example.org";
    project_.MailSubject = "Backup finished";
    project_.MailBody = "Project [ProjectName] at [RunTime]: [ErrorString]";
  }

  TServerProcess StartServer(std::vector<std::string> args) {
    args.insert(args.begin(), {"--out", out_});
    return TServerProcess("engine/servers/smtp_server.py", args);
  }

  std::vector<TJson> Received() const {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(out_))
      if (e.path().extension() == ".json") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    std::vector<TJson> out;
    for (const std::string& f : files) out.push_back(TJson::Parse(ReadFile(f)));
    return out;
  }

  std::string out_ = dir_.P("mail");
  TProject project_;
};

TEST(MailBodyTest, TokensAreReplacedIgnoringCaseInOnePass) {
  TProject p;
  p.Name = "Docs [RunTime]";  // a name that looks like a token stays as it is
  struct Case {
    std::string body;
    std::string error;
    std::string expected;
  } cases[] = {
      {"[ProjectName]/[projectname]/[ITEMNAME]", "",
       "Docs [RunTime]/Docs [RunTime]/Docs [RunTime]"},
      {"at [RunTime] or [Runtime]", "", "at " + RunTimeText() + " or " + RunTimeText()},
      {"status \"[ErrorString]\"", "", "status \"\""},
      {"status \"[Errorstring]\"", "(disk full)", "status \"(disk full)\""},
      {"[ErrorString]", "[ProjectName]", "[ProjectName]"},
      {"[Project Name] [ProjectName", "", "[Project Name] [ProjectName"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    p.MailBody = c.body;
    EXPECT_EQ(FillMailBody(p, kRunStarted, c.error), c.expected);
  }
}

TEST_F(MailTest, MailWithoutAuthenticationArrivesWithEnvelopeHeadersAndBody) {
  TServerProcess server = StartServer({"--user", "mailer", "--password", "secret"});
  project_.SmtpPort = server.Port();
  project_.SmtpAuth = false;  // credentials present but not to be sent
  project_.SmtpUser = "mailer";
  project_.SmtpPassword = "secret";
  const std::string longLine(300, 'x');
  project_.MailBody = "Größe [projectname]\nline two\rline three\r\n.dot line\r\n" + longLine +
                      " =end\r\nstarted [RunTime], status \"[ErrorString]\"";

  ASSERT_TRUE(SendNotificationMail(project_, kRunStarted, "", 5));

  const std::vector<TJson> mails = Received();
  ASSERT_EQ(mails.size(), 1u);
  const TJson& m = mails[0];
  EXPECT_EQ(m["mail_from"].String(), "backup@example.org");
  EXPECT_EQ(m["rcpt_tos"].Strings(),
            (std::vector<std::string>{"ann@example.org", "bob@example.org", "carl@example.org",
                                      "dora@example.org"}));
  EXPECT_FALSE(m["authenticated"].Bool());
  const TJson& h = m["headers"];
  EXPECT_EQ(h["From"].String(), "backup@example.org");
  EXPECT_EQ(h["Reply-To"].String(), "backup@example.org");
  EXPECT_EQ(h["To"].String(),
            "ann@example.org, bob@example.org, carl@example.org, dora@example.org");
  EXPECT_EQ(h["Subject"].String(), "Backup finished");
  EXPECT_EQ(h["MIME-Version"].String(), "1.0");
  EXPECT_TRUE(h.Has("Date"));
  EXPECT_EQ(m["content_type"].String(), "text/plain");
  EXPECT_EQ(m["charset"].String(), "utf-8");
  EXPECT_EQ(m["body"].String(), "Größe Nightly\r\nline two\r\nline three\r\n.dot line\r\n" +
                                    longLine + " =end\r\nstarted " + RunTimeText() +
                                    ", status \"\"\r\n");
  EXPECT_EQ(m["bare_line_breaks"].Number(), 0);

  EXPECT_EQ(StatusLines(), (std::vector<std::string>{"Connecting to SMTP server...",
                                                     "SMTP server is connected. Send message ...",
                                                     "Disconnect from SMTP server"}));
  EXPECT_TRUE(ErrorLines().empty());
  EXPECT_EQ(ProgressCaption.Get(), "Send Email...");
  // The status texts go to the second panel and the progress status alike.
  const std::vector<std::string> events = ui_->Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "panel1 " + ProgressStatus.Get());
}

TEST_F(MailTest, MailWithAuthLoginCarriesTheFailureTextAndAnEncodedSubject) {
  TServerProcess server =
      StartServer({"--user", "mailer", "--password", "s3cret:;x", "--auth-required"});
  project_.SmtpPort = server.Port();
  project_.SmtpAuth = true;
  project_.SmtpUser = "mailer";
  project_.SmtpPassword = "s3cret:;x";
  project_.MailAddress = "Sicherung Büro <backup@example.org>";
  project_.MailExtraRecipients = "<ann@example.org>";
  project_.MailSubject = "Sicherung fehlgeschlagen – Büro";
  for (int i = 0; i < 40; ++i) project_.MailSubject += "ä";

  ASSERT_TRUE(SendNotificationMail(project_, kRunStarted, "(Cannot open file C:\\a.txt)", 5));

  const std::vector<TJson> mails = Received();
  ASSERT_EQ(mails.size(), 1u);
  const TJson& m = mails[0];
  EXPECT_TRUE(m["authenticated"].Bool());
  EXPECT_EQ(m["mechanism"].String(), "LOGIN");
  EXPECT_EQ(m["login"].String(), "mailer");
  EXPECT_EQ(m["mail_from"].String(), "backup@example.org");
  EXPECT_EQ(m["rcpt_tos"].Strings(), std::vector<std::string>{"ann@example.org"});
  EXPECT_EQ(m["headers"]["From"].String(), "Sicherung Büro <backup@example.org>");
  EXPECT_EQ(m["headers"]["Reply-To"].String(), "Sicherung Büro <backup@example.org>");
  EXPECT_EQ(m["headers"]["Subject"].String(), project_.MailSubject);
  EXPECT_EQ(m["raw_headers"]["Subject"].String().rfind("=?UTF-8?B?", 0), 0u);
  EXPECT_EQ(m["body"].String(),
            "Project Nightly at " + RunTimeText() + ": (Cannot open file C:\\a.txt)\r\n");
  EXPECT_EQ(m["bare_line_breaks"].Number(), 0);
}

TEST_F(MailTest, FailuresAreReportedWithTheReason) {
  TServerProcess server =
      StartServer({"--user", "mailer", "--password", "secret", "--auth-required"});
  TServerProcess silent("engine/servers/ftp_gateway.py", {"--mode", "stall"});
  struct Case {
    const char* name;
    int port;
    bool auth;
    const char* password;
    const char* reason;  // part of the logged reason ('|' between alternatives)
    bool connected;      // got as far as the log-in
  } cases[] = {
      {"wrong password", server.Port(), true, "wrong", "535", false},
      {"no authentication where it is required", server.Port(), false, "", "530", true},
      {"closed port", UnusedLoopbackPort(), false, "", "onnect", false},
      // The transfer library says "Timeout was reached" or "... timed out after ...".
      {"server that never answers", silent.Port(), false, "", "imeout|imed out", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_->Clear();
    project_.SmtpPort = c.port;
    project_.SmtpAuth = c.auth;
    project_.SmtpUser = "mailer";
    project_.SmtpPassword = c.password;
    EXPECT_FALSE(SendNotificationMail(project_, kRunStarted, "", 1));
    EXPECT_TRUE(HasError("Failed to send email", c.reason))
        << ::testing::PrintToString(ErrorLines());
    EXPECT_EQ(StatusLines().back(), c.connected ? "SMTP server is connected. Send message ..."
                                                : "Connecting to SMTP server...");
  }
  EXPECT_TRUE(Received().empty());
}

}  // namespace
