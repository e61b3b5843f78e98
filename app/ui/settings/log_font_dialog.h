// The log font's chooser: the font dialog with a colour beside it, as the settings keep both.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QFontDialog>
#include <QPushButton>

class TLogFontDialog : public QDialog {
  Q_OBJECT

 public:
  TLogFontDialog(const QFont& font, const QColor& color, QWidget* parent = nullptr);

  QFont SelectedFont() const { return FontPicker->currentFont(); }
  QColor SelectedColor() const { return color_; }
  void SetColor(const QColor& color);
  // Asks for the colour with the colour dialog.
  void ColorBtnClick();

  QFontDialog* FontPicker = nullptr;
  QPushButton* ColorBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  QColor color_;
};
