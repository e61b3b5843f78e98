// The forms' widgets, each made with its object name (the name tests and saved layouts find it
// by).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>

QLineEdit* MakeEdit(QWidget* parent, const char* name);
QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption);
// Filled with `items`.
QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items);
QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);
// A button that Enter in a field never presses.
QPushButton* MakeNoDefaultButton(QWidget* parent, const char* name, const QString& caption);
