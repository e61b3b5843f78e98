#include "app/ui/project/ftp_folder_frm.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "app/engine/delivery/ftp_listing.h"
#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "platform/shell/job_thread.h"

namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TFTPFolderFrm::TFTPFolderFrm(TGlobalSetting& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setObjectName("FTPFolderFrm");
  setWindowTitle("Choose a folder");
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  LV = new QTreeWidget(this);
  LV->setObjectName("LV");
  LV->setHeaderLabels({"Folder Name"});
  LV->setRootIsDecorated(false);
  CurFolder = new QLabel(this);
  CurFolder->setObjectName("CurFolder");
  ConnectBtn = new QPushButton("Connect to server", this);
  ConnectBtn->setObjectName("ConnectBtn");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(200);

  auto* current = new QHBoxLayout;
  current->addWidget(new QLabel("Current folder:", this));
  current->addWidget(CurFolder, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ConnectBtn);
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ComboBox1);
  layout->addWidget(LV);
  layout->addLayout(current);
  layout->addLayout(buttons);

  connect(Timer1, &QTimer::timeout, this, &TFTPFolderFrm::Timer1Timer);
  connect(ConnectBtn, &QPushButton::clicked, this, &TFTPFolderFrm::ConnectBtnClick);
  connect(OKBtn, &QPushButton::clicked, this, [this] { done(1); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(2); });
  connect(LV, &QTreeWidget::itemDoubleClicked, this, &TFTPFolderFrm::LVDblClick);
  connect(ComboBox1, &QComboBox::activated, this, &TFTPFolderFrm::ComboBox1Change);
}

TFTPFolderFrm::~TFTPFolderFrm() {
  closing_ = true;
}

void TFTPFolderFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FirstShow) return;
  FirstShow = false;
  closing_ = false;
  Timer1->start();
}

void TFTPFolderFrm::done(int result) {
  // A running call sees this at its next poll; the client goes once it has returned.
  closing_ = true;
  if (!busy_ && client_) {
    client_->Disconnect();
    client_.reset();
  }
  Timer1->stop();
  QDialog::done(result);
}

void TFTPFolderFrm::Status(const QString& text) {
  setWindowTitle("FTP... " + text);
}

void TFTPFolderFrm::UpdateConnectButton() {
  ConnectBtn->setEnabled(!busy_ && !(client_ && client_->Connected()));
}

bool TFTPFolderFrm::RunOffWindow(const std::function<void()>& job) {
  std::atomic<bool> finished{false};
  {
    platform::shell::JobThread worker([&] {
      job();
      finished = true;
      QMetaObject::invokeMethod(
          this, [] {}, Qt::QueuedConnection);
    });
    worker.Resume();
    while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return !closing_;
}

bool TFTPFolderFrm::WaitOffWindow(int seconds) {
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  timer.start(seconds * 1000);
  if (!closing_) loop.exec();
  return !closing_;
}

void TFTPFolderFrm::Timer1Timer() {
  Timer1->stop();
  if (ConnectToServer()) ListFolder();
}

void TFTPFolderFrm::ConnectBtnClick() {
  if (busy_) return;
  if (ConnectToServer()) ListFolder();
}

bool TFTPFolderFrm::ConnectToServer() {
  if (busy_ || closing_) return false;
  TProject site;
  site.FtpHost = Host;
  site.FtpPort = Port;
  site.FtpUser = User;
  site.FtpPassword = Password;
  site.FtpPassive = Passive;
  site.UseProxy = UseProxy;
  site.ProxyType = ProxyType;
  site.ProxyHost = ProxyHost;
  site.ProxyPort = ProxyPort;
  site.ProxyAuth = ProxyAuth;
  site.ProxyUser = ProxyUser;
  site.ProxyPassword = ProxyPassword;
  client_ = std::make_unique<TFtpListing>(PlanFtpLogin(site), settings_.NetworkTimeoutSec, Passive,
                                          closing_);
  busy_ = true;
  UpdateConnectButton();
  LogStatus("Connecting to FTP server...");
  Status("Connecting to " + Q(Host) + "...");

  const int retries =
      settings_.AutoRetry
          ? std::clamp(settings_.UnlimitedRetries ? kMaxRetries : settings_.RetryCount, 0,
                       kMaxRetries)
          : 0;
  const int delay = std::clamp(settings_.ReconnectDelaySec, 0, kMaxRetryDelaySec);
  bool connected = false;
  TFtpListing* client = client_.get();
  for (int attempt = 0; attempt <= retries && !closing_; ++attempt) {
    if (attempt > 0 && !WaitOffWindow(delay)) break;
    if (!RunOffWindow([&] { connected = client->Connect(); })) break;
    emit connectAttempted(attempt, connected);
    if (connected) break;
    Status(Q(client->Error()));
    LogError("FTP: " + client->Error());
  }
  busy_ = false;
  if (closing_) {
    client_.reset();
    return false;
  }
  if (connected) {
    LogStatus("FTP server is connected.");
    Status("Connected.");
  }
  UpdateConnectButton();
  return connected;
}

void TFTPFolderFrm::ListFolder(const QString& name) {
  if (busy_ || closing_ || !client_ || !client_->Connected()) return;
  busy_ = true;
  std::vector<TFtpListEntry> entries;
  bool listed = false;
  TFtpListing* client = client_.get();
  const std::string wanted = name.toUtf8().toStdString();
  const bool open = RunOffWindow([&] { listed = client->List(wanted, entries); });
  busy_ = false;
  if (!open) {
    client_.reset();
    return;
  }
  if (!listed) {
    Status(Q(client->Error()));
    LogError("FTP: " + client->Error());
    UpdateConnectButton();
    return;
  }
  const QString current = Q(client->Current());
  if (ComboBox1->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
    ComboBox1->addItem(current);
  CurFolder->setText(current);
  LV->clear();
  const QIcon up = style()->standardIcon(QStyle::SP_FileDialogToParent);
  const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
  bool hasParent = false;
  for (const TFtpListEntry& e : entries) {
    if (!e.IsFolder || e.Name == ".") continue;
    hasParent = hasParent || e.Name == "..";
    auto* row = new QTreeWidgetItem(LV, {Q(e.Line)});  // owned by the list
    row->setIcon(0, e.Name == ".." ? up : folder);
    row->setData(0, Qt::UserRole, Q(e.Name));
  }
  // Servers that do not list ".." still need a way up.
  if (!hasParent && current != "/") {
    auto* row = new QTreeWidgetItem({".."});
    row->setIcon(0, up);
    row->setData(0, Qt::UserRole, QStringLiteral(".."));
    LV->insertTopLevelItem(0, row);
  }
  UpdateConnectButton();
}

void TFTPFolderFrm::LVDblClick(QTreeWidgetItem* item) {
  if (item) ListFolder(item->data(0, Qt::UserRole).toString());
}

void TFTPFolderFrm::ComboBox1Change(int index) {
  if (index != -1) ListFolder(ComboBox1->itemText(index));
}
