#include <QApplication>
#include <memory>

#include "app/engine/command_line_backup.h"
#include "app/engine/program_modules.h"
#include "app/engine/user_interface.h"
#include "app/ui/qt_user_interface.h"
#include "app/ui/startup.h"

int main(int argc, char** argv) {
  const TProgramModules modules(argc > 0 && argv[0] ? argv[0] : "");
  // `QuorvaBackup <file.bpj>` backs the project up without a window and without a display.
  if (argc >= 2) return RunCommandLineBackup(argv[1]);

  QApplication app(argc, argv);
  auto ui = std::make_shared<TQtUserInterface>();
  SetUserInterface(ui);
  const int exitCode = ProgramMainBlock(*ui);
  SetUserInterface(nullptr);
  return exitCode;
}
