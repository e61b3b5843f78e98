#include "app/ui/widgets/port_text.h"

#include "app/engine/user_interface.h"

bool ParsePort(const QString& text, std::int32_t& port) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok || value < 1 || value > 65535) return false;
  port = value;
  return true;
}

void ShowNotAValidInteger(const QString& text) {
  UserInterface()->MessageBox("'" + text.toUtf8().toStdString() + "' is not a valid integer value",
                              "Quorva Backup", TMessageButtons::Ok, TMessageKind::Error);
}
