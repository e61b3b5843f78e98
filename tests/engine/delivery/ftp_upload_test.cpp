#include "app/engine/delivery/ftp_upload.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/delivery/ftp_session.h"
#include "app/engine/project/project.h"
#include "tests/engine/delivery/ftp_test_support.h"
#include "tests/support/fifo_time_limit.h"
#include "tests/support/server_process.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kFtpServer = "engine/servers/ftp_server.py";

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// Waits for a condition another thread brings about; the bound only keeps a broken run
// from hanging the suite.
template <typename TCondition>
bool WaitUntil(TCondition condition) {
  for (int i = 0; i < 3000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

class FtpUploadTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    std::filesystem::create_directories(Remote("backups"));
    project_.FtpHost = "127.0.0.1";
    project_.FtpUser = "writer";
    project_.FtpPassword = "wpass";
    project_.DestinationFile = "backups";
    project_.UseProxy = false;
  }

  std::vector<std::string> ServerArgs(int port = 0, int throttle = 0) const {
    return {"--home",     dir_.P("ftp"),
            "--port",     std::to_string(port),
            "--throttle", std::to_string(throttle),
            "--user",     "writer:wpass:elradfmwMT:writer",
            "--user",     "reader:rpass:elr:reader"};
  }
  TServerProcess StartServer(int port = 0, int throttle = 0) const {
    return TServerProcess(kFtpServer, ServerArgs(port, throttle));
  }
  // POSIX path of a file of the writer's home on the server.
  std::string Remote(const std::string& name) const { return dir_.P("ftp/writer/" + name); }
  // A local volume; returns its Windows-form path.
  std::string Volume(const std::string& name, const std::string& content) const {
    WriteFile(dir_.P("local/" + name), content);
    return dir_.W("local/" + name);
  }
  std::future<bool> UploadAsync(std::vector<std::string> names) {
    return std::async(std::launch::async,
                      [this, names] { return UploadToFtp(names, project_, *settings_); });
  }
  int Retries() const {
    int n = 0;
    for (const std::string& m : Messages("DEBUG   ")) n += m.rfind("FTP attempt failed", 0) == 0;
    return n;
  }

  TProject project_;
};

TEST_F(FtpUploadTest, UploadsEveryVolumeWithEqualBytesInPassiveAndActiveMode) {
  TServerProcess server = StartServer();
  project_.FtpPort = server.Port();
  const std::vector<std::pair<std::string, std::string>> files = {
      {"QVP1A2B.tmp", RandomBytes(300 * 1024, 1)},
      {"QVP1A2B-v002.QVP", "line\r\nbare lf\nbare cr\r\0end"},  // binary: nothing translated
      {"QVP1A2B.z03", ""},
  };
  std::vector<std::string> names;
  for (const auto& [name, content] : files) names.push_back(Volume(name, content));

  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    log_->Clear();
    project_.FtpPassive = passive;
    WriteFile(Remote("backups/QVP1A2B.tmp"), std::string(400 * 1024, 'o'));  // to be replaced
    ASSERT_TRUE(UploadToFtp(names, project_, *settings_));
    for (const auto& [name, content] : files)
      EXPECT_EQ(ReadFile(Remote("backups/" + name)), content) << name;

    std::vector<std::string> expected = {"Connecting to FTP server...", "FTP server is connected."};
    for (const std::string& n : names) expected.push_back("Uploading " + n);
    expected.push_back("Disconnected from FTP server.");
    EXPECT_EQ(StatusLines(), expected);
    EXPECT_TRUE(ErrorLines().empty());
    EXPECT_EQ(ProgressPosition.load(), 100);
    EXPECT_EQ(ProgressCaption.Get(), "Uploading files...");
    EXPECT_EQ(ProgressStatus.Get(), names.back());
  }

  // Each transfer shows the bar with its byte count, ends at the maximum and hides it.
  const std::vector<std::string> events = ui_->Events();
  for (size_t f = 0; f < files.size(); ++f) {
    SCOPED_TRACE(files[f].first);
    const std::string size = std::to_string(files[f].second.size());
    const auto panel = std::find(events.begin(), events.end(), "panel1 Uploading " + names[f]);
    ASSERT_NE(panel, events.end());
    ASSERT_GE(events.end() - panel, 4);
    EXPECT_EQ(panel[1], "show " + size);
    const auto hide = std::find(panel, events.end(), "hide");
    ASSERT_NE(hide, events.end());
    EXPECT_EQ(hide[-1], "pos " + size);
  }
}

// A volume whose name leads to a FIFO (or any other thing that is no file) fails the store at
// once as a local failure in either kind of session: it never waits for a writer.
TEST_F(FtpUploadTest, AVolumeThatIsNoFileFailsWithoutWaiting) {
  TServerProcess server = StartServer();
  project_.FtpPort = server.Port();
  std::filesystem::create_directories(dir_.P("local"));
  const std::string fifo = dir_.P("local/QVP1A2B.tmp");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const TFtpLoginPlan plan = PlanFtpLogin(project_);
  TFtpSessionOptions options;
  options.TimeoutSec = 30;
  options.RemoteFolder = "backups";
  for (const bool client : {false, true}) {
    SCOPED_TRACE(client ? "own client" : "libcurl");
    std::unique_ptr<IFtpSession> session =
        client ? MakeClientFtpSession(plan, options) : MakeCurlFtpSession(plan, options);
    ASSERT_TRUE(session->Open().Ok());
    TFtpOutcome outcome;
    EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(60), {fifo}, [&] {
      outcome = session->Store(fifo, "QVP1A2B.tmp");
    })) << "the store waited on the FIFO";
    EXPECT_EQ(outcome.State, TFtpOutcome::TState::LocalFailed) << outcome.Reason;
    session->Close();
  }
  EXPECT_FALSE(std::filesystem::exists(Remote("backups/QVP1A2B.tmp")));
}

TEST_F(FtpUploadTest, EmptyListDoesNothing) {
  EXPECT_TRUE(UploadToFtp({}, project_, *settings_));
  EXPECT_TRUE(log_->Entries().empty());
}

TEST_F(FtpUploadTest, RefusalsFailWithTheServersReply) {
  TServerProcess server = StartServer();
  project_.FtpPort = server.Port();
  settings_->AutoRetry = true;
  settings_->RetryCount = 2;
  const std::string volume = Volume("QVP0001.tmp", "data");
  struct Case {
    const char* name;
    const char* user;
    const char* password;
    const char* folder;
    const char* reply;
    bool connected;
    int retries;  // a refused log-in and a refused file are tried again, a missing folder not
  } cases[] = {
      {"missing folder", "writer", "wpass", "no/such/folder", "(550 ", true, 0},
      {"wrong password", "writer", "wrong", "backups", "(530 ", false, 2},
      {"read-only user", "reader", "rpass", "", "(550 ", true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_->Clear();
    project_.FtpUser = c.user;
    project_.FtpPassword = c.password;
    project_.DestinationFile = c.folder;
    EXPECT_FALSE(UploadToFtp({volume}, project_, *settings_));
    ASSERT_EQ(ErrorLines().size(), 1u);
    EXPECT_EQ(ErrorLines()[0].rfind(std::string("Failed to upload to ftp server ") + c.reply, 0),
              0u)
        << ErrorLines()[0];
    const std::vector<std::string> status = StatusLines();
    EXPECT_EQ(std::count(status.begin(), status.end(), "FTP server is connected."), c.connected);
    EXPECT_EQ(std::count(status.begin(), status.end(), "Disconnected from FTP server."),
              c.connected);
    EXPECT_EQ(Retries(), c.retries);
  }
  EXPECT_FALSE(std::filesystem::exists(Remote("no")));  // nothing created
  EXPECT_FALSE(std::filesystem::exists(dir_.P("ftp/reader/QVP0001.tmp")));
}

TEST_F(FtpUploadTest, AbsoluteFolderAndUnsafeNames) {
  TServerProcess server = StartServer();
  project_.FtpPort = server.Port();
  std::filesystem::create_directories(Remote("a b/c%d"));
  project_.DestinationFile = "/a b/c%d";
  const std::string volume = Volume("QVP0002.tmp", "abc");
  EXPECT_TRUE(UploadToFtp({volume}, project_, *settings_));
  EXPECT_EQ(ReadFile(Remote("a b/c%d/QVP0002.tmp")), "abc");

  // A line break would end the command and start another one of the user's making.
  project_.DestinationFile = "backups\r\nDELE x";
  log_->Clear();
  EXPECT_FALSE(UploadToFtp({volume}, project_, *settings_));
  EXPECT_TRUE(HasError("Failed to upload to ftp server (", "line break"));
  EXPECT_TRUE(StatusLines().empty());  // nothing was sent
}

TEST_F(FtpUploadTest, StalledServerTimesOut) {
  TServerProcess silent("engine/servers/ftp_gateway.py", {"--mode", "stall"});
  project_.FtpPort = silent.Port();
  settings_->NetworkTimeoutSec = 1;
  EXPECT_FALSE(UploadToFtp({Volume("QVP0003.tmp", "x")}, project_, *settings_));
  EXPECT_TRUE(HasError("Failed to upload to ftp server (", ""))
      << ::testing::PrintToString(ErrorLines());
}

TEST_F(FtpUploadTest, ServerStoppedDuringTransferIsRetried) {
  const std::string content = RandomBytes(8 * 1024 * 1024, 7);
  const std::string volume = Volume("QVP0004.tmp", content);
  settings_->AutoRetry = true;
  settings_->ReconnectDelaySec = 1;
  settings_->NetworkTimeoutSec = 10;
  for (const bool restart : {true, false}) {
    SCOPED_TRACE(restart ? "server comes back" : "server stays down");
    log_->Clear();
    settings_->RetryCount = restart ? 30 : 2;
    auto server = std::make_unique<TServerProcess>(kFtpServer, ServerArgs(0, 256 * 1024));
    const int port = server->Port();
    project_.FtpPort = port;
    std::promise<void> moving;
    std::atomic<bool> seen{false};
    ui_->OnPosition([&](int position) {
      if (position > 0 && !seen.exchange(true)) moving.set_value();
    });
    std::future<bool> upload = UploadAsync({volume});
    ASSERT_EQ(moving.get_future().wait_for(60s), std::future_status::ready);
    server->Stop();
    if (restart) server = std::make_unique<TServerProcess>(kFtpServer, ServerArgs(port));
    ASSERT_EQ(upload.wait_for(120s), std::future_status::ready);
    ui_->OnPosition(nullptr);
    if (restart) {
      EXPECT_TRUE(upload.get());
      EXPECT_EQ(ReadFile(Remote("backups/QVP0004.tmp")), content);
      EXPECT_GE(Retries(), 1);
      EXPECT_TRUE(ErrorLines().empty());
    } else {
      EXPECT_FALSE(upload.get());
      EXPECT_EQ(Retries(), 2);
      ASSERT_EQ(ErrorLines().size(), 1u);
      EXPECT_EQ(ErrorLines()[0].rfind("Failed to upload to ftp server (", 0), 0u);
      EXPECT_NE(ErrorLines()[0].find(volume), std::string::npos);
    }
    std::filesystem::remove(Remote("backups/QVP0004.tmp"));
  }
}

TEST_F(FtpUploadTest, CancelEndsTheUploadPromptly) {
  TServerProcess throttled = StartServer(0, 64 * 1024);
  project_.FtpPort = throttled.Port();
  const std::string big = Volume("QVP0005.tmp", RandomBytes(16 * 1024 * 1024, 3));
  const std::string small = Volume("QVP0006.tmp", "x");
  struct Case {
    const char* name;
    const char* user;
    const char* password;
    std::string volume;
  } cases[] = {
      // refused again and again, waiting 30 s in between, without end
      {"during the wait of unlimited retries", "reader", "rpass", small},
      {"during a transfer", "writer", "wpass", big},
  };
  settings_->AutoRetry = true;
  settings_->UnlimitedRetries = true;
  settings_->ReconnectDelaySec = 30;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_->Clear();
    ProgressCancelled = false;
    project_.FtpUser = c.user;
    project_.FtpPassword = c.password;
    project_.DestinationFile = c.user == std::string("writer") ? "backups" : "";
    std::atomic<bool> moving{false};
    ui_->OnPosition([&](int position) {
      if (position > 0) moving = true;
    });
    std::future<bool> upload = UploadAsync({c.volume});
    ASSERT_TRUE(WaitUntil([&] { return moving.load() || Retries() > 0; }));
    ProgressCancelled = true;
    ASSERT_EQ(upload.wait_for(20s), std::future_status::ready);
    ui_->OnPosition(nullptr);
    EXPECT_FALSE(upload.get());
    EXPECT_TRUE(HasError("Failed to upload to ftp server (cancelled)", ""));
  }
}

}  // namespace
