// "Choose project to schedule": a project of the project manager's list, or a project file
// from another place.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TChooseProjectToSchedule : public QDialog {
  Q_OBJECT

 public:
  // One row per project of the list: its name and its project file.
  explicit TChooseProjectToSchedule(
      const std::vector<std::pair<std::string, std::string>>& projects, QWidget* parent = nullptr);

  void OKBtnClick();
  void CancelBtnClick();
  // Puts the project file chosen in an open dialog into the path field.
  void BrowseBtnClick();

  // After OK: the project's name (empty for another location) and its project file.
  std::string ProjectName;
  std::string ProjectFile;

  QRadioButton* FromManager = nullptr;  // "choose project from Project Manager"
  QTreeWidget* ProjectList = nullptr;
  QRadioButton* FromOther = nullptr;  // "choose project from other location..."
  QLineEdit* PathEdit = nullptr;
  QPushButton* BrowseBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override { done(2); }
};

// The open dialog for project files: a path in the Windows form, or none when cancelled.
std::optional<std::string> ChooseProjectFile();
