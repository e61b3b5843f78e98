// An edit with an up-down control in it: the arrows and the arrow keys step the whole number
// in the text within a range, and whatever the user types stays as typed, so that the
// dialog's own checks report an empty or non-numeric entry.
#pragma once

#include <QAbstractSpinBox>
#include <QLineEdit>

class TUpDownEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  TUpDownEdit(int minimum, int maximum, QWidget* parent = nullptr);

  // The edit inside, read and written like any line edit.
  QLineEdit* Edit() const { return lineEdit(); }

  // Wide enough for the largest number of the range.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int Number(bool* ok = nullptr) const;

  int minimum_;
  int maximum_;
};
