#include <cstdio>

#include "app/engine/command_line_backup.h"

int main(int argc, char** argv) {
  if (argc >= 2) return RunCommandLineBackup(argv[1]);
  std::fprintf(stderr, "usage: QuorvaBackup <project.bpj>\n");
  return 64;
}
