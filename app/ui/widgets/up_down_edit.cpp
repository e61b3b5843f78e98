#include "app/ui/widgets/up_down_edit.h"

#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>

TUpDownEdit::TUpDownEdit(int minimum, int maximum, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
}

int TUpDownEdit::Number(bool* ok) const {
  return lineEdit()->text().trimmed().toInt(ok, 10);
}

QSize TUpDownEdit::sizeHint() const {
  ensurePolished();
  const QFontMetrics metrics(font());
  const int text = std::max(metrics.horizontalAdvance(QString::number(maximum_)),
                            metrics.horizontalAdvance(QString::number(minimum_))) +
                   metrics.horizontalAdvance(QLatin1Char('0')) + 4;
  QStyleOptionSpinBox option;
  initStyleOption(&option);
  const QSize contents(text, lineEdit()->sizeHint().height());
  return style()->sizeFromContents(QStyle::CT_SpinBox, &option, contents, this);
}

QSize TUpDownEdit::minimumSizeHint() const {
  return sizeHint();
}

void TUpDownEdit::stepBy(int steps) {
  bool ok = false;
  const int current = Number(&ok);
  // A text that is no number steps from the low end, as an up-down over an empty edit does.
  const long long next = static_cast<long long>(ok ? current : minimum_) + steps;
  const int value = static_cast<int>(std::clamp<long long>(next, minimum_, maximum_));
  lineEdit()->setText(QString::number(value));
  lineEdit()->selectAll();
}

QValidator::State TUpDownEdit::validate(QString&, int&) const {
  return QValidator::Acceptable;
}

void TUpDownEdit::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled TUpDownEdit::stepEnabled() const {
  bool ok = false;
  const int value = Number(&ok);
  if (!ok) return StepUpEnabled | StepDownEnabled;
  StepEnabled enabled = StepNone;
  if (value < maximum_) enabled |= StepUpEnabled;
  if (value > minimum_) enabled |= StepDownEnabled;
  return enabled;
}
