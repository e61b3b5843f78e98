// "Choose a folder": logs in to the project's FTP server and lets the user walk its folders;
// the folder shown at OK is the chosen one. Every server call runs on a worker while the
// window keeps handling events; closing the window stops it.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TFtpListing;
class TGlobalSetting;

class TFTPFolderFrm : public QDialog {
  Q_OBJECT

 public:
  // Retries and their delay are bounded here: the user is waiting in front of the window.
  static constexpr int kMaxRetries = 3;
  static constexpr int kMaxRetryDelaySec = 10;

  explicit TFTPFolderFrm(TGlobalSetting& settings, QWidget* parent = nullptr);
  ~TFTPFolderFrm() override;

  void Timer1Timer();
  void ConnectBtnClick();
  // Connects with the retries of the settings; false when no attempt got through.
  bool ConnectToServer();
  void ListFolder(const QString& name = {});
  void LVDblClick(QTreeWidgetItem* item);
  void ComboBox1Change(int index);
  bool Busy() const { return busy_; }

  std::string Host;
  std::int32_t Port = 21;
  std::string User;
  std::string Password;
  bool Passive = true;
  bool UseProxy = false;
  std::int32_t ProxyType = 0;
  std::string ProxyHost;
  std::int32_t ProxyPort = 21;
  bool ProxyAuth = false;
  std::string ProxyUser;
  std::string ProxyPassword;
  bool FirstShow = true;

  QComboBox* ComboBox1 = nullptr;
  QTreeWidget* LV = nullptr;
  QLabel* CurFolder = nullptr;
  QPushButton* ConnectBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QTimer* Timer1 = nullptr;

 signals:
  // After every attempt to connect (tests follow the retries with it).
  void connectAttempted(int attempt, bool connected);

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  // Runs `job` on a worker and handles events until it ends; false when the window closed.
  bool RunOffWindow(const std::function<void()>& job);
  // Waits `seconds` while handling events; false when the window closed meanwhile.
  bool WaitOffWindow(int seconds);
  void Status(const QString& text);
  void UpdateConnectButton();

  TGlobalSetting& settings_;
  std::atomic<bool> closing_{false};
  std::unique_ptr<TFtpListing> client_;
  bool busy_ = false;
};
