#include "app/ui/settings/log_font_dialog.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QPixmap>
#include <QVBoxLayout>

TLogFontDialog::TLogFontDialog(const QFont& font, const QColor& color, QWidget* parent)
    : QDialog(parent) {
  setObjectName("LogFontDialog");
  setWindowTitle("Font");
  // The font dialog's own page, without its buttons, inside this window.
  FontPicker = new QFontDialog(font, this);
  FontPicker->setObjectName("FontPicker");
  FontPicker->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  FontPicker->setWindowFlags(Qt::Widget);
  ColorBtn = new QPushButton("Color...", this);
  ColorBtn->setObjectName("ColorBtn");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ColorBtn);
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FontPicker);
  layout->addLayout(buttons);

  connect(ColorBtn, &QPushButton::clicked, this, &TLogFontDialog::ColorBtnClick);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  SetColor(color);
}

void TLogFontDialog::SetColor(const QColor& color) {
  color_ = color.isValid() ? color : QColor(Qt::black);
  QPixmap swatch(16, 16);
  swatch.fill(color_);
  ColorBtn->setIcon(QIcon(swatch));
}

void TLogFontDialog::ColorBtnClick() {
  const QColor chosen = QColorDialog::getColor(color_, this, "Color");
  if (chosen.isValid()) SetColor(chosen);
}
