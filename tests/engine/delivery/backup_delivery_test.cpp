// Backup runs that deliver by FTP and notify by mail, against pyftpdlib and aiosmtpd on
// 127.0.0.1: what arrives, what a failed delivery keeps, and which mail is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/project/project.h"
#include "tests/engine/delivery/ftp_test_support.h"
#include "tests/support/json_value.h"
#include "tests/support/server_process.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class BackupDeliveryTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    fs::create_directories(dir_.P("tmp"));
    fs::create_directories(dir_.P("ftp/writer/backups"));
    fs::create_directories(dir_.P("mail"));
    settings_->TempFolder = dir_.W("tmp\\");
    WriteFile(dir_.P("src/a.txt"), "alpha");
    WriteFile(dir_.P("src/big.bin"), RandomText(3'200'000));
    project_.Name = "job";
    project_.BackupMode = 1;
    project_.DestinationType = 1;
    project_.DestinationFile = "backups";
    project_.FtpHost = "127.0.0.1";
    project_.FtpUser = "writer";
    project_.FtpPassword = "wpass";
    project_.Compress = false;
    project_.Split = true;  // 1,468,006-byte volumes: the archive and two more
    project_.DeleteAfterBackup = true;
    project_.ProjectFile = dir_.W("job.bpj");
    project_.Folders.Add(dir_.W("src\\"), 0);
  }

  static std::string RandomText(size_t n) {
    std::string s(n, '\0');
    unsigned x = 12345;
    for (char& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
    return s;
  }

  TServerProcess StartFtp() {
    return TServerProcess("engine/servers/ftp_server.py",
                          {"--home", dir_.P("ftp"), "--user", "writer:wpass:elradfmwMT:writer"});
  }
  TServerProcess StartSmtp() {
    return TServerProcess("engine/servers/smtp_server.py", {"--out", dir_.P("mail")});
  }
  std::vector<TJson> Mails() const {
    std::vector<TJson> out;
    for (const std::string& n : Names(dir_.P("mail")))
      if (n.size() > 5 && n.substr(n.size() - 5) == ".json")
        out.push_back(TJson::Parse(ReadFile(dir_.P("mail/" + n))));
    return out;
  }
  void MailOn(int port, int condition) {
    project_.SendMail = true;
    project_.MailCondition = condition;
    project_.SmtpHost = "127.0.0.1";
    project_.SmtpPort = port;
    project_.MailAddress = "backup@example.org";
    project_.MailExtraRecipients = "ann@example.org";
    project_.MailBody = "[ProjectName]: [ErrorString]";
  }
  TBackupOutcome Run() {
    ResetProgressForJob();
    return BackupThreadProc(project_, *settings_);
  }

  TProject project_;
};

TEST_F(BackupDeliveryTest, EveryVolumeArrivesAndTheTemporaryArchiveGoes) {
  TServerProcess ftp = StartFtp();
  project_.FtpPort = ftp.Port();
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    project_.FtpPassive = passive;
    project_.Snapshot.Clear();
    project_.DeleteAfterBackup = false;
    for (const auto& e : fs::directory_iterator(dir_.P("ftp/writer/backups"))) fs::remove(e);
    ASSERT_EQ(Run(), TBackupOutcome::Complete);
    std::vector<std::string> remote = Names(dir_.P("ftp/writer/backups"));
    ASSERT_EQ(remote.size(), 3u);  // QVPxxxx.001, QVPxxxx.002, QVPxxxx.tmp
    std::rotate(remote.begin(), remote.end() - 1, remote.end());  // the archive file first
    std::string joined;
    for (const std::string& n : remote) joined += ReadFile(dir_.P("ftp/writer/backups/" + n));
    WriteFile(dir_.P("joined.zip"), joined);
    std::string out;
    EXPECT_EQ(RunCommand("unzip -tq '" + dir_.P("joined.zip") + "'", &out), 0) << out;
    const std::string stored = dir_.W("src\\big.bin").erase(1, 1);
    EXPECT_EQ(RunCommand(std::string(QUORVA_PYTHON) +
                         " -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile("
                         "sys.argv[1]).read(sys.argv[2]))' '" +
                         dir_.P("joined.zip") + "' '" + stored + "' | cmp - '" +
                         dir_.P("src/big.bin") + "'"),
              0);
    EXPECT_TRUE(Names(dir_.P("tmp")).empty()) << "temporary archive files are deleted";
    EXPECT_EQ(project_.Snapshot.Count(), 2);
  }
}

// A delivery that fails keeps the archive where it was written, merges nothing, deletes no
// source and sends the after-error mail with the reason.
TEST_F(BackupDeliveryTest, FailedUploadKeepsEverythingAndSendsTheErrorMail) {
  TServerProcess ftp = StartFtp();
  TServerProcess smtp = StartSmtp();
  project_.FtpPort = ftp.Port();
  project_.DestinationFile = "missing-folder";
  MailOn(smtp.Port(), 1);
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  EXPECT_EQ(Names(dir_.P("tmp")).size(), 3u) << "the archive and its volumes are kept";
  EXPECT_EQ(Names(dir_.P("src")).size(), 2u);
  EXPECT_EQ(project_.Snapshot.Count(), 0);
  EXPECT_FALSE(fs::exists(dir_.P("job.bpj")));
  EXPECT_TRUE(HasError("The archive was not delivered", "QVP"));
  const auto mails = Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0]["body"].String().find("job: The archive was not delivered"), std::string::npos)
      << mails[0]["body"].String();
}

TEST_F(BackupDeliveryTest, MailFollowsTheConditionAndItsFailureLeavesTheRunAlone) {
  project_.DestinationType = 0;
  project_.DestinationFile = dir_.W("out\\job.qvp");
  project_.Split = false;
  project_.DeleteAfterBackup = false;
  fs::create_directories(dir_.P("out"));
  {
    TServerProcess smtp = StartSmtp();
    MailOn(smtp.Port(), 1);  // after an error only: a complete run sends nothing
    ASSERT_EQ(Run(), TBackupOutcome::Complete);
    EXPECT_TRUE(Mails().empty());
    MailOn(smtp.Port(), 0);
    ASSERT_EQ(Run(), TBackupOutcome::Complete);
    const auto mails = Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0]["body"].String().substr(0, 5), "job: ");
  }
  MailOn(UnusedLoopbackPort(), 0);
  log_->Clear();
  EXPECT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_TRUE(HasError("Failed to send email", ""));
}

// A run whose archive holds fewer files than asked for is a failed run: one after-error mail
// with the reason, though the archive itself was delivered (and its files deleted).
TEST_F(BackupDeliveryTest, FailedEntrySendsOneErrorMail) {
  TServerProcess smtp = StartSmtp();
  project_.DestinationType = 0;
  project_.DestinationFile = dir_.W("out\\job.qvp");
  project_.Split = false;
  fs::create_directories(dir_.P("out"));
  project_.Files.Add(dir_.W("missing.txt"), 0);
  MailOn(smtp.Port(), 1);
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  const auto mails = Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0]["body"].String().find("could not be stored"), std::string::npos)
      << mails[0]["body"].String();
  // The files that were stored and delivered go; the one that failed was never there.
  EXPECT_TRUE(Names(dir_.P("src")).empty());
}

}  // namespace
