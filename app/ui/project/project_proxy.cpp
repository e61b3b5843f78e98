#include "app/ui/project/project_proxy.h"

#include <cstdint>
#include <string>

#include "app/engine/project/project.h"
#include "app/ui/project/ftp_folder_frm.h"
#include "app/ui/project/proxy_frm.h"
#include "app/ui/widgets/port_text.h"

void EditProjectProxy(TProject& project, QWidget* owner) {
  TProxySettingFrm proxy(owner);
  proxy.CheckBox1->setChecked(project.UseProxy);
  proxy.CheckBox2->setChecked(project.ProxyAuth);
  proxy.ComboBox1->setCurrentIndex(project.ProxyType);
  proxy.Edit1->setText(QString::fromStdString(project.ProxyHost));
  proxy.Edit2->setText(QString::number(project.ProxyPort));
  proxy.Edit3->setText(QString::fromStdString(project.ProxyUser));
  proxy.Edit4->setText(QString::fromStdString(project.ProxyPassword));
  proxy.ApplyEnableRules();
  if (proxy.exec() != 1) return;
  std::int32_t port = 0;
  if (!ParsePort(proxy.Edit2->text(), port)) return ShowNotAValidInteger(proxy.Edit2->text());
  project.UseProxy = proxy.CheckBox1->isChecked();
  project.ProxyAuth = proxy.CheckBox2->isChecked();
  project.ProxyType = proxy.ComboBox1->currentIndex();
  project.ProxyHost = proxy.Edit1->text().toStdString();
  project.ProxyPort = port;
  project.ProxyUser = proxy.Edit3->text().toStdString();
  project.ProxyPassword = proxy.Edit4->text().toStdString();
}

void UseProjectProxy(TFTPFolderFrm& chooser, const TProject& project) {
  chooser.UseProxy = project.UseProxy;
  chooser.ProxyType = project.ProxyType;
  chooser.ProxyHost = project.ProxyHost;
  chooser.ProxyPort = project.ProxyPort;
  chooser.ProxyAuth = project.ProxyAuth;
  chooser.ProxyUser = project.ProxyUser;
  chooser.ProxyPassword = project.ProxyPassword;
}
