#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/delivery/ftp_upload.h"
#include "app/engine/project/project.h"
#include "tests/engine/delivery/ftp_test_support.h"
#include "tests/support/server_process.h"

namespace {

constexpr const char* kGateway = "engine/servers/ftp_gateway.py";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FtpProxyTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    std::filesystem::create_directories(dir_.P("ftp/writer/backups"));
    server_ = std::make_unique<TServerProcess>(
        "engine/servers/ftp_server.py", std::vector<std::string>{"--home", dir_.P("ftp"), "--user",
                                                                 "writer:wpass:elradfmwMT:writer"});
    site_ = "127.0.0.1:" + std::to_string(server_->Port());
    project_.FtpHost = "127.0.0.1";
    project_.FtpPort = server_->Port();
    project_.FtpUser = "writer";
    project_.FtpPassword = "wpass";
    project_.DestinationFile = "backups";
    project_.UseProxy = true;
    project_.ProxyHost = "127.0.0.1";
    project_.ProxyUser = "gatekeeper";
    project_.ProxyPassword = "gpass";
    volume_ = dir_.W("local/QVP7777.tmp");
    WriteFile(dir_.P("local/QVP7777.tmp"), content_);
  }

  std::unique_ptr<TServerProcess> server_;
  std::string site_;
  TProject project_;
  std::string volume_;
  const std::string content_ = std::string(100000, 'q') + "\r\n\n\0tail";
};

TEST_F(FtpProxyTest, EachStyleSendsItsLogInSequenceAndTheUploadArrives) {
  struct Case {
    int style;
    bool proxyAuth;
    bool passive;
    std::vector<std::string> login;  // the first commands the gateway sees
  } cases[] = {
      {0, false, true, {"USER writer@" + site_, "PASS wpass"}},
      {0, true, false, {"USER gatekeeper", "PASS gpass", "USER writer@" + site_, "PASS wpass"}},
      {1, false, true, {"SITE " + site_, "USER writer", "PASS wpass"}},
      {1,
       true,
       false,
       {"USER gatekeeper", "PASS gpass", "SITE " + site_, "USER writer", "PASS wpass"}},
      {2, false, false, {"OPEN " + site_, "USER writer", "PASS wpass"}},
      {2,
       true,
       true,
       {"USER gatekeeper", "PASS gpass", "OPEN " + site_, "USER writer", "PASS wpass"}},
      {3, false, true, {"USER writer@" + site_, "PASS wpass"}},
      {3, true, false, {"USER writer@gatekeeper@" + site_, "PASS wpass@gpass"}},
      {4, true, true, {"USER writer", "PASS wpass"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("style " + std::to_string(c.style) + (c.proxyAuth ? " with" : " without") +
                 " proxy log-in, " + (c.passive ? "passive" : "active"));
    const std::string record = dir_.P("commands-" + std::to_string(&c - cases) + ".txt");
    std::vector<std::string> args = {"--record", record};
    if (c.style == 4) {
      // A transparent proxy sits on the way to the site itself.
      args.insert(args.end(), {"--mode", "transparent", "--upstream", site_});
    } else if (c.proxyAuth) {
      args.insert(args.end(), {"--proxy-user", "gatekeeper", "--proxy-pass", "gpass"});
    }
    TServerProcess gateway(kGateway, args);
    project_.ProxyType = c.style;
    project_.ProxyAuth = c.proxyAuth;
    project_.FtpPassive = c.passive;
    if (c.style == 4) {
      project_.FtpPort = gateway.Port();
      project_.ProxyPort = UnusedLoopbackPort();  // never to be used
    } else {
      project_.FtpPort = server_->Port();
      project_.ProxyPort = gateway.Port();
    }
    std::filesystem::remove(dir_.P("ftp/writer/backups/QVP7777.tmp"));

    EXPECT_TRUE(UploadToFtp({volume_}, project_, *settings_))
        << ::testing::PrintToString(ErrorLines());
    EXPECT_EQ(ReadFile(dir_.P("ftp/writer/backups/QVP7777.tmp")), content_);
    const std::vector<std::string> commands = Lines(ReadFile(record));
    ASSERT_GE(commands.size(), c.login.size());
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + c.login.size()),
              c.login);
    EXPECT_TRUE(Contains(commands, "CWD backups")) << ::testing::PrintToString(commands);
    EXPECT_TRUE(Contains(commands, "TYPE I"));
    EXPECT_TRUE(Contains(commands, "STOR QVP7777.tmp"));
  }
}

TEST_F(FtpProxyTest, WrongProxyPasswordFails) {
  TServerProcess gateway(kGateway, {"--proxy-user", "gatekeeper", "--proxy-pass", "gpass"});
  project_.ProxyPort = gateway.Port();
  project_.ProxyAuth = true;
  project_.ProxyPassword = "wrong";
  for (const int style : {0, 1, 3}) {  // our own client and libcurl
    SCOPED_TRACE(style);
    log_->Clear();
    project_.ProxyType = style;
    EXPECT_FALSE(UploadToFtp({volume_}, project_, *settings_));
    EXPECT_TRUE(HasError("Failed to upload to ftp server (", "530 Proxy log-in incorrect"))
        << ::testing::PrintToString(ErrorLines());
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.P("ftp/writer/backups/QVP7777.tmp")));
}

TEST_F(FtpProxyTest, MisbehavingGatewayFailsWithoutHanging) {
  settings_->NetworkTimeoutSec = 1;
  struct Case {
    const char* mode;
    int style;
    const char* reason;  // part of the logged reason; empty: any
  } cases[] = {
      {"stall", 1, "timed out"},
      {"long-line", 1, "reply line too long"},
      {"garbage", 1, "malformed reply"},
      {"bad-pasv", 1, "malformed reply: 227"},  // a bare "227" once ended the program
      {"stall", 3, ""},
      {"long-line", 3, ""},
      {"garbage", 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " style " + std::to_string(c.style));
    log_->Clear();
    TServerProcess gateway(kGateway, {"--mode", c.mode});
    project_.ProxyPort = gateway.Port();
    project_.ProxyType = c.style;
    EXPECT_FALSE(UploadToFtp({volume_}, project_, *settings_));
    EXPECT_TRUE(HasError("Failed to upload to ftp server (", c.reason))
        << ::testing::PrintToString(ErrorLines());
  }
}

TEST_F(FtpProxyTest, CancelWhileWaitingForTheGatewayEndsPromptly) {
  using namespace std::chrono_literals;
  settings_->NetworkTimeoutSec = 300;
  TServerProcess gateway(kGateway, {"--mode", "stall"});
  project_.ProxyPort = gateway.Port();
  for (const int style : {1, 3}) {  // our own client and libcurl
    SCOPED_TRACE(style);
    log_->Clear();
    ProgressCancelled = false;
    project_.ProxyType = style;
    std::future<bool> upload = std::async(
        std::launch::async, [&] { return UploadToFtp({volume_}, project_, *settings_); });
    while (StatusLines().empty()) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms);  // into the wait for the greeting
    ProgressCancelled = true;
    ASSERT_EQ(upload.wait_for(20s), std::future_status::ready);
    EXPECT_FALSE(upload.get());
    EXPECT_TRUE(HasError("Failed to upload to ftp server (cancelled)", ""))
        << ::testing::PrintToString(ErrorLines());
  }
}

TEST_F(FtpProxyTest, GatewaySessionLogsInAgainAfterTheSiteWentDown) {
  // Our own client has to notice the lost connection and go through the whole sequence again.
  using namespace std::chrono_literals;
  const std::vector<std::string> siteArgs = {"--home",     dir_.P("ftp"),
                                             "--user",     "writer:wpass:elradfmwMT:writer",
                                             "--throttle", std::to_string(256 * 1024)};
  server_->Stop();
  auto site = std::make_unique<TServerProcess>("engine/servers/ftp_server.py", siteArgs);
  const int port = site->Port();
  TServerProcess gateway(kGateway, {"--proxy-user", "gatekeeper", "--proxy-pass", "gpass"});
  project_.FtpPort = port;
  project_.ProxyPort = gateway.Port();
  project_.ProxyType = 1;
  project_.ProxyAuth = true;
  settings_->AutoRetry = true;
  settings_->RetryCount = 30;
  settings_->ReconnectDelaySec = 1;
  settings_->NetworkTimeoutSec = 10;
  std::string big(8 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7919 >> 8);
  WriteFile(dir_.P("local/QVP7778.tmp"), big);

  std::promise<void> moving;
  std::atomic<bool> seen{false};
  ui_->OnPosition([&](int position) {  // only the big file gets this far
    if (position > 200000 && !seen.exchange(true)) moving.set_value();
  });
  std::future<bool> upload = std::async(std::launch::async, [&] {
    return UploadToFtp({volume_, dir_.W("local/QVP7778.tmp")}, project_, *settings_);
  });
  ASSERT_EQ(moving.get_future().wait_for(60s), std::future_status::ready);
  site->Stop();
  std::vector<std::string> restartArgs(siteArgs.begin(), siteArgs.end() - 2);
  restartArgs.insert(restartArgs.end(), {"--port", std::to_string(port)});
  site = std::make_unique<TServerProcess>("engine/servers/ftp_server.py", restartArgs);
  ASSERT_EQ(upload.wait_for(120s), std::future_status::ready);
  ui_->OnPosition(nullptr);
  EXPECT_TRUE(upload.get()) << ::testing::PrintToString(ErrorLines());
  EXPECT_EQ(ReadFile(dir_.P("ftp/writer/backups/QVP7777.tmp")), content_);
  EXPECT_EQ(ReadFile(dir_.P("ftp/writer/backups/QVP7778.tmp")), big);
}

}  // namespace
