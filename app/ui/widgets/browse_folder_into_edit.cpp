#include "app/ui/widgets/browse_folder_into_edit.h"

#include <QLineEdit>

#include "app/ui/widgets/browse_for_folder.h"

void BrowseFolderIntoEdit(QWidget* owner, QLineEdit* edit) {
  TBrowseForFolder browser(owner);
  browser.Caption = "Select Folder";
  browser.StatusText = "Please select folder";
  if (!edit->text().isEmpty()) browser.FolderName = edit->text().toUtf8().toStdString();
  if (browser.Execute()) edit->setText(QString::fromStdString(browser.FolderName));
}
