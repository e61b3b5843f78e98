#include "app/ui/widgets/named_widgets.h"

QLineEdit* MakeEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  return box;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->addItems(items);
  return combo;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QRadioButton(caption, parent);
  button->setObjectName(name);
  return button;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

QPushButton* MakeNoDefaultButton(QWidget* parent, const char* name, const QString& caption) {
  QPushButton* button = MakeButton(parent, name, caption);
  button->setAutoDefault(false);
  return button;
}
