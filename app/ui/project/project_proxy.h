// A project's FTP proxy as the project dialog and the wizard hand it to the proxy and FTP
// folder windows.
#pragma once

class QWidget;
class TFTPFolderFrm;
class TProject;

// "Proxy Settings" over the project's proxy: OK stores the controls back; a port that is no
// number is reported and nothing is stored.
void EditProjectProxy(TProject& project, QWidget* owner);
// The folder chooser connects through the project's proxy.
void UseProjectProxy(TFTPFolderFrm& chooser, const TProject& project);
