// "Project Configuration": edits every setting of one project except its sources. The
// dialog works on its own project; callers copy a project in, call ProjectToForm, show it and
// on result 1 copy Project back.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/engine/project/project.h"

class TAddExtFrm;
class TGlobalSetting;

// One CD/DVD writer found by the device search: its name and its address.
struct TWriterEntry {
  std::string Name;
  std::int32_t Port = 0;
  std::int32_t Bus = 0;
  std::int32_t TargetID = 0;
  std::int32_t LUN = 0;
};

// Kinds of exclusion rows, kept as the row's data.
enum TExclusionKind { ekExtension = 0, ekFile = 1, ekFolder = 2 };

// The shell's type name of a file by its name only ("Text Document"-like, from the MIME
// database); "File" when nothing is known.
QString ShellTypeName(const QString& fileName);

class TProjectConfigFrm : public QDialog {
  Q_OBJECT

 public:
  // `writers` is the writer list; the device combo offers only these.
  TProjectConfigFrm(TGlobalSetting& settings, std::vector<TWriterEntry> writers,
                    QWidget* parent = nullptr);

  void ResetProject();
  void LoadEmailAccounts();
  void ProjectToForm();
  // False (with the error shown) when a number field does not convert; Project is then
  // unchanged.
  bool FormToProject();
  void AddExclusion(const QString& text, int kind);
  void AddExclusionWithDescription(const QString& text, const QString& description, int kind);
  // Logs every failed check; true when none failed.
  bool ValidateInput();

  void OKBtnClick();
  void CancelBtnClick();
  void ApplyEnableRules();
  void CheckBox4Click();
  void RemoveBtnClick();
  void ClearBtnClick();
  void AddExtensionClick();
  void AddFilesClick();
  void AddTempPresetClick();
  void AddQvpPresetClick();
  void AddDriveFilePresetClick(const QString& fileName);
  void AddFoldersClick();
  void BitBtn1Click();
  void FtpFolderBtnClick();
  void AccountBtnClick();
  void Edit1BrowseClick();
  void Edit9BrowseClick();
  void Edit10BrowseClick();

  // Shows the log console and brings it to the front after a failed check.
  std::function<void()> ShowConsole;
  // The program's one extension chooser, which keeps its list and selection between uses; a
  // chooser of the dialog's own serves without it.
  void SetExtensionChooser(TAddExtFrm* chooser) { extensionChooser_ = chooser; }

  TProject Project;

  QTabWidget* PageControl = nullptr;
  QLineEdit* Name = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QGroupBox* GB1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Edit1Browse = nullptr;
  QGroupBox* GB2 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* FtpFolderBtn = nullptr;
  QGroupBox* GB3 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QTreeWidget* ExLV = nullptr;
  QPushButton* AddBtn = nullptr;
  QPushButton* RemoveBtn = nullptr;
  QPushButton* ClearBtn = nullptr;
  QRadioButton* RadioButton4 = nullptr;
  QRadioButton* RadioButton5 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QComboBox* ComboBox4 = nullptr;
  QCheckBox* CheckBox6 = nullptr;
  QComboBox* ComboBox5 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QComboBox* ComboBox6 = nullptr;
  QCheckBox* CheckBox7 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QCheckBox* CheckBox11 = nullptr;
  QLineEdit* Edit9 = nullptr;
  QPushButton* Edit9Browse = nullptr;
  QCheckBox* CheckBox8 = nullptr;
  QCheckBox* CheckBox12 = nullptr;
  QLineEdit* Edit10 = nullptr;
  QPushButton* Edit10Browse = nullptr;
  QCheckBox* CheckBox9 = nullptr;
  QCheckBox* CheckBox10 = nullptr;
  QRadioButton* RadioButton6 = nullptr;
  QRadioButton* RadioButton7 = nullptr;
  QComboBox* ComboBox7 = nullptr;
  QPushButton* AccountBtn = nullptr;
  QPushButton* ResetBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override { done(2); }

 private:
  void FormCreate();
  void FillWriterCombo(int selected, bool missing);
  void ShowNumberError(const QString& text);

  TGlobalSetting& settings_;
  std::vector<TWriterEntry> writers_;
  TAddExtFrm* extensionChooser_ = nullptr;
};
