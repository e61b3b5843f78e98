#include "app/ui/project/ftp_folder_frm.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/delivery/ftp_listing.h"
#include "app/engine/settings/global_setting.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr const char* kFtpServer = "engine/servers/ftp_server.py";
// Bound for waits on the server; only a hang reaches it.
constexpr int kHangMs = 20000;

class FtpFolderFrmTest : public ::testing::Test {
 protected:
  FtpFolderFrmTest() {
    settings.SaveOnDestroy = false;
    settings.NetworkTimeoutSec = 5;
    settings.AutoRetry = false;
    settings.ReconnectDelaySec = 0;
  }

  // A folder of the reader's home on the server.
  void Folder(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::u8path(ftp.P("reader/" + path)));
  }
  std::vector<std::string> ServerArgs(int port = 0) const {
    return {
        "--home", ftp.Posix(), "--port", std::to_string(port), "--user", "reader:rpass:elr:reader"};
  }
  TServerProcess StartServer() {
    std::filesystem::create_directories(ftp.P("reader"));
    return TServerProcess(kFtpServer, ServerArgs());
  }
  void Aim(TFTPFolderFrm& frm, int port) {
    frm.Host = "127.0.0.1";
    frm.Port = port;
    frm.User = "reader";
    frm.Password = "rpass";
  }

  TQtTestEnv env;
  TempDir ftp;
  TGlobalSetting settings;
};

// The folder names of the list in its order.
std::vector<QString> Rows(const TFTPFolderFrm& frm) {
  std::vector<QString> rows;
  for (int i = 0; i < frm.LV->topLevelItemCount(); ++i)
    rows.push_back(frm.LV->topLevelItem(i)->data(0, Qt::UserRole).toString());
  return rows;
}

// The rows with ".." first when it is there and the others sorted (servers list unordered).
std::vector<QString> SortedRows(const TFTPFolderFrm& frm) {
  std::vector<QString> rows = Rows(frm);
  const auto first = !rows.empty() && rows.front() == ".." ? rows.begin() + 1 : rows.begin();
  std::sort(first, rows.end());
  return rows;
}

std::vector<QString> History(const TFTPFolderFrm& frm) {
  std::vector<QString> items;
  for (int i = 0; i < frm.ComboBox1->count(); ++i) items.push_back(frm.ComboBox1->itemText(i));
  return items;
}

// Double-clicks the row of `name` as the user does.
void Open(TFTPFolderFrm& frm, const QString& name) {
  QTreeWidgetItem* row = nullptr;
  for (int i = 0; i < frm.LV->topLevelItemCount(); ++i)
    if (frm.LV->topLevelItem(i)->data(0, Qt::UserRole).toString() == name)
      row = frm.LV->topLevelItem(i);
  ASSERT_NE(row, nullptr) << name.toStdString();
  const QPoint at = frm.LV->visualItemRect(row).center();
  QTest::mouseClick(frm.LV->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(frm.LV->viewport(), Qt::LeftButton, {}, at);
}

TEST_F(FtpFolderFrmTest, WalksNestedFoldersUpAndBackThroughTheHistory) {
  Folder("docs/2024 reports/q1");
  Folder("my photos");
  WriteFile(ftp.P("reader/readme.txt"), "not a folder");
  WriteFile(ftp.P("reader/docs/notes.txt"), "not a folder");
  TServerProcess server = StartServer();
  TFTPFolderFrm frm(settings);
  Aim(frm, server.Port());
  frm.show();
  QTRY_COMPARE_WITH_TIMEOUT(frm.CurFolder->text(), QString("/"), kHangMs);
  EXPECT_FALSE(frm.ConnectBtn->isEnabled());  // connected
  // Only folders, and no way up from the top.
  EXPECT_EQ(SortedRows(frm), (std::vector<QString>{"docs", "my photos"}));
  for (int i = 0; i < frm.LV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = frm.LV->topLevelItem(i);
    EXPECT_TRUE(row->text(0).endsWith(" " + row->data(0, Qt::UserRole).toString()))
        << row->text(0).toStdString();  // the server's line ends with the name
  }

  struct Step {
    QString open;
    QString folder;
    std::vector<QString> rows;
  };
  const std::vector<Step> steps = {
      {"docs", "/docs", {"..", "2024 reports"}},
      {"2024 reports", "/docs/2024 reports", {"..", "q1"}},
      {"q1", "/docs/2024 reports/q1", {".."}},
      {"..", "/docs/2024 reports", {"..", "q1"}},
      {"..", "/docs", {"..", "2024 reports"}},
      {"..", "/", {"docs", "my photos"}},
      {"my photos", "/my photos", {".."}},
      {"..", "/", {"docs", "my photos"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.open.toStdString() + " -> " + step.folder.toStdString());
    Open(frm, step.open);
    EXPECT_EQ(frm.CurFolder->text(), step.folder);
    EXPECT_EQ(SortedRows(frm), step.rows);
  }
  // Every folder shown once, in the order first seen.
  EXPECT_EQ(History(frm), (std::vector<QString>{"/", "/docs", "/docs/2024 reports",
                                                "/docs/2024 reports/q1", "/my photos"}));

  // Choosing from the history goes straight to the folder and adds nothing.
  emit frm.ComboBox1->activated(3);
  EXPECT_EQ(frm.CurFolder->text(), "/docs/2024 reports/q1");
  EXPECT_EQ(Rows(frm), (std::vector<QString>{".."}));
  emit frm.ComboBox1->activated(0);
  EXPECT_EQ(frm.CurFolder->text(), "/");
  EXPECT_EQ(frm.ComboBox1->count(), 5);

  frm.OKBtn->click();
  EXPECT_EQ(frm.result(), 1);
  EXPECT_EQ(frm.CurFolder->text(), "/");  // the chosen folder
}

TEST_F(FtpFolderFrmTest, OpensFoldersWithBlanksAndUrlCharactersInTheirNames) {
  const std::vector<std::string> names = {"two  blanks", "trailing blank ", "100% done", "a#b?c",
                                          "semi;colon",  "Grüße",           "x+y=z"};
  for (const std::string& name : names) Folder(name + "/inner folder");
  TServerProcess server = StartServer();
  TFTPFolderFrm frm(settings);
  Aim(frm, server.Port());
  frm.show();
  QTRY_COMPARE_WITH_TIMEOUT(frm.CurFolder->text(), QString("/"), kHangMs);
  std::vector<QString> expected;
  for (const std::string& name : names) expected.push_back(QString::fromStdString(name));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedRows(frm), expected);

  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const QString folder = "/" + QString::fromStdString(name);
    Open(frm, QString::fromStdString(name));
    EXPECT_EQ(frm.CurFolder->text(), folder);
    EXPECT_EQ(Rows(frm), (std::vector<QString>{"..", "inner folder"}));
    Open(frm, "inner folder");
    EXPECT_EQ(frm.CurFolder->text(), folder + "/inner folder");
    EXPECT_EQ(Rows(frm), (std::vector<QString>{".."}));
    Open(frm, "..");
    Open(frm, "..");
    EXPECT_EQ(frm.CurFolder->text(), "/");
  }
  EXPECT_EQ(frm.ComboBox1->count(), static_cast<int>(1 + 2 * names.size()));
}

TEST_F(FtpFolderFrmTest, ClosedPortIsRetriedAsOftenAsSetButNeverMoreThanTheBound) {
  struct Case {
    const char* name;
    bool autoRetry;
    bool unlimited;
    int retryCount;
    int attempts;
  };
  const int bound = TFTPFolderFrm::kMaxRetries + 1;
  const std::vector<Case> cases = {
      {"no retry", false, false, 5, 1},          {"two retries", true, false, 2, 3},
      {"many retries", true, false, 50, bound},  {"unlimited", true, true, 0, bound},
      {"retry switched off", false, true, 9, 1}, {"negative count", true, false, -4, 1},
  };
  const int port = UnusedLoopbackPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    settings.AutoRetry = c.autoRetry;
    settings.UnlimitedRetries = c.unlimited;
    settings.RetryCount = c.retryCount;
    settings.ReconnectDelaySec = 0;
    TFTPFolderFrm frm(settings);
    Aim(frm, port);
    QSignalSpy attempts(&frm, &TFTPFolderFrm::connectAttempted);
    EXPECT_FALSE(frm.ConnectToServer());
    ASSERT_EQ(attempts.count(), c.attempts);
    for (int i = 0; i < attempts.count(); ++i) {
      EXPECT_EQ(attempts[i][0].toInt(), i);
      EXPECT_FALSE(attempts[i][1].toBool());
    }
    EXPECT_FALSE(frm.Busy());
    EXPECT_TRUE(frm.ConnectBtn->isEnabled());  // the user may try again
    EXPECT_EQ(frm.LV->topLevelItemCount(), 0);
    EXPECT_EQ(frm.ComboBox1->count(), 0);
  }
}

TEST_F(FtpFolderFrmTest, ListsInPassiveAndActiveMode) {
  Folder("alpha/beta");
  TServerProcess server = StartServer();
  for (const bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    TFTPFolderFrm frm(settings);
    Aim(frm, server.Port());
    frm.Passive = passive;
    ASSERT_TRUE(frm.ConnectToServer());
    frm.ListFolder();
    EXPECT_EQ(Rows(frm), (std::vector<QString>{"alpha"}));
    frm.ListFolder("alpha");
    EXPECT_EQ(frm.CurFolder->text(), "/alpha");
    EXPECT_EQ(Rows(frm), (std::vector<QString>{"..", "beta"}));
  }
}

TEST_F(FtpFolderFrmTest, RefusedLogInShowsTheServerError) {
  TServerProcess server = StartServer();
  TFTPFolderFrm frm(settings);
  Aim(frm, server.Port());
  frm.Password = "wrong";
  QSignalSpy attempts(&frm, &TFTPFolderFrm::connectAttempted);
  EXPECT_FALSE(frm.ConnectToServer());
  EXPECT_EQ(attempts.count(), 1);
  EXPECT_TRUE(frm.windowTitle().startsWith("FTP... ")) << frm.windowTitle().toStdString();
  EXPECT_NE(frm.windowTitle(), "FTP... Connected.");
  bool logged = false;
  for (const auto& e : env.log->Entries()) logged = logged || e.message.rfind("FTP: ", 0) == 0;
  EXPECT_TRUE(logged);
  EXPECT_TRUE(frm.ConnectBtn->isEnabled());
  EXPECT_EQ(frm.LV->topLevelItemCount(), 0);
}

TEST_F(FtpFolderFrmTest, AFolderGoneFromTheServerLeavesTheCurrentOneShown) {
  Folder("stays/inside");
  Folder("goes");
  TServerProcess server = StartServer();
  TFTPFolderFrm frm(settings);
  Aim(frm, server.Port());
  ASSERT_TRUE(frm.ConnectToServer());
  frm.ListFolder();
  ASSERT_EQ(SortedRows(frm), (std::vector<QString>{"goes", "stays"}));
  std::filesystem::remove(ftp.P("reader/goes"));
  frm.ListFolder("goes");
  EXPECT_EQ(frm.CurFolder->text(), "/");
  EXPECT_EQ(SortedRows(frm), (std::vector<QString>{"goes", "stays"}));
  EXPECT_EQ(History(frm), (std::vector<QString>{"/"}));
  EXPECT_NE(frm.windowTitle(), "FTP... Connected.");
  // Still connected: the next folder opens.
  frm.ListFolder("stays");
  EXPECT_EQ(frm.CurFolder->text(), "/stays");
  EXPECT_EQ(Rows(frm), (std::vector<QString>{"..", "inside"}));
}

TEST_F(FtpFolderFrmTest, AfterTheServerWentAwayTheUserCanConnectAgain) {
  Folder("one/two");
  auto server = std::make_unique<TServerProcess>(kFtpServer, ServerArgs());
  const int port = server->Port();
  TFTPFolderFrm frm(settings);
  Aim(frm, port);
  ASSERT_TRUE(frm.ConnectToServer());
  frm.ListFolder();
  ASSERT_EQ(Rows(frm), (std::vector<QString>{"one"}));
  server.reset();
  frm.ListFolder("one");
  EXPECT_EQ(frm.CurFolder->text(), "/");
  EXPECT_TRUE(frm.ConnectBtn->isEnabled());

  server = std::make_unique<TServerProcess>(kFtpServer, ServerArgs(port));
  frm.ConnectBtn->click();
  EXPECT_FALSE(frm.ConnectBtn->isEnabled());
  frm.ListFolder("one");
  EXPECT_EQ(frm.CurFolder->text(), "/one");
  EXPECT_EQ(Rows(frm), (std::vector<QString>{"..", "two"}));
}

TEST_F(FtpFolderFrmTest, ClosingTheWindowDuringAnAttemptEndsItAtOnce) {
  // A server that accepts connections and never greets.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
  settings.NetworkTimeoutSec = 60;
  settings.AutoRetry = true;
  settings.RetryCount = 3;
  TFTPFolderFrm frm(settings);
  Aim(frm, ntohs(address.sin_port));
  QSignalSpy attempts(&frm, &TFTPFolderFrm::connectAttempted);
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(300, &frm, [&] { frm.CancelBtn->click(); });
  frm.show();
  QTRY_VERIFY_WITH_TIMEOUT(frm.result() == 2 && !frm.Busy(), kHangMs);
  EXPECT_EQ(attempts.count(), 0);  // the attempt ended as cancelled, not as failed
  // Waiting for the server would have taken the network timeout.
  EXPECT_LT(clock.elapsed(), settings.NetworkTimeoutSec * 1000);
  EXPECT_FALSE(frm.isVisible());
  close(silent);
}

TEST(FtpListLineTest, ReadsUnixAndMsDosLines) {
  struct Case {
    std::string line;
    bool entry;
    std::string name;
    bool folder;
  };
  const std::vector<Case> cases = {
      {"drwxr-xr-x   2 owner group     4096 Dec 10 14:11 my photos\r", true, "my photos", true},
      {"-rw-r--r--   1 owner group       12 Jan  1  2024 read me.txt", true, "read me.txt", false},
      {"drwxr-xr-x   2 owner group     4096 Dec 10 14:11 two  blanks", true, "two  blanks", true},
      {"lrwxrwxrwx   1 owner group        7 Dec 10 14:11 latest -> backups", true, "latest", false},
      {"12-10-26  02:11PM       <DIR>          Old Backups", true, "Old Backups", true},
      {"12-10-26  02:11PM                 1024 set 1.qvp", true, "set 1.qvp", false},
      {"total 12", false, "", false},
      {"", false, "", false},
      {"\r\n", false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TFtpListEntry entry;
    ASSERT_EQ(ParseFtpListLine(c.line, entry), c.entry);
    if (!c.entry) continue;
    EXPECT_EQ(entry.Name, c.name);
    EXPECT_EQ(entry.IsFolder, c.folder);
    EXPECT_EQ(entry.Line, c.line.substr(0, c.line.find('\r')));
  }
}

TEST_F(FtpFolderFrmTest, ClosingTheWindowDuringARetryEndsItAtOnce) {
  struct Case {
    const char* name;
    int result;
    void (*close)(TFTPFolderFrm&);
  };
  const std::vector<Case> cases = {
      {"Cancel", 2, [](TFTPFolderFrm& f) { f.CancelBtn->click(); }},
      {"window closed", 0, [](TFTPFolderFrm& f) { f.close(); }},
      {"Escape", 0, [](TFTPFolderFrm& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
  };
  settings.AutoRetry = true;
  settings.RetryCount = 3;
  settings.ReconnectDelaySec = TFTPFolderFrm::kMaxRetryDelaySec;
  const int port = UnusedLoopbackPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFTPFolderFrm frm(settings);
    Aim(frm, port);
    QSignalSpy attempts(&frm, &TFTPFolderFrm::connectAttempted);
    // Closed as soon as the first attempt has failed, while the window waits to retry.
    QObject::connect(&frm, &TFTPFolderFrm::connectAttempted, &frm,
                     [&] { QTimer::singleShot(0, &frm, [&] { c.close(frm); }); });
    QElapsedTimer clock;
    clock.start();
    frm.show();
    QTRY_VERIFY_WITH_TIMEOUT(attempts.count() > 0 && !frm.Busy(), kHangMs);
    // Waiting out the delay would have taken this long.
    EXPECT_LT(clock.elapsed(), TFTPFolderFrm::kMaxRetryDelaySec * 1000);
    EXPECT_EQ(attempts.count(), 1);
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.result(), c.result);
    // Nothing runs on afterwards.
    QTest::qWait(50);
    EXPECT_EQ(attempts.count(), 1);
  }
}

}  // namespace
