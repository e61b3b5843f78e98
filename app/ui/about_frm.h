// "About": product name, version, picture, description and the two web links.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

class TAboutFrm : public QDialog {
  Q_OBJECT

 public:
  // The product's page and the maker's (the main window's "Visit web site" opens the latter).
  static constexpr const char* kProductUrl = "https://quorva.example/backup/";
  static constexpr const char* kMakerUrl = "https://quorva.example/";

  explicit TAboutFrm(QWidget* parent = nullptr);

  void ProductLinkClick();
  void MakerLinkClick();
  void OKBtnClick();

  QLabel* Image1 = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* Comments = nullptr;
  QLabel* ProductLink = nullptr;
  QLabel* MakerLink = nullptr;
  QPushButton* OKBtn = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override { done(2); }
};
