#include <malloc.h>

#include <QApplication>
#include <memory>

#include "app/engine/backup/command_line_backup.h"
#include "app/engine/delivery/program_modules.h"
#include "app/engine/user_interface.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/startup.h"

int main(int argc, char** argv) {
  // Blocks of 128 KiB and more (the archive workers' buffers) go back to the system when
  // freed instead of staying in a thread's heap for the rest of the run.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
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
