// The folder button beside an edit: the folder chooser opens at the edit's folder and a chosen
// folder replaces the edit's text.
#pragma once

class QLineEdit;
class QWidget;

// Cancelling leaves the edit as it was.
void BrowseFolderIntoEdit(QWidget* owner, QLineEdit* edit);
