// The program's last words in the library's debugger output, from the real binary.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace {

TEST(ProgramExitTest, CommandLineRunEndsWithTheModulesFinalizationTraces) {
  TempDir dir;
  const char* build = std::getenv("QUORVA_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  const std::string trace = dir.P("debug.txt");
  const std::string command =
      "cd '" + dir.Posix() + "' && HOME='" + dir.Posix() + "' QUORVA_HOME='" + dir.P("home") +
      "' XDG_CONFIG_HOME='" + dir.P("config") + "' HALVORIN_DEBUG_OUTPUT='" + trace + "' '" +
      build + "/app/ui/QuorvaBackup' '" + dir.P("missing.bpj") + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0) << "a missing project is a failed run";
  const std::string text = ReadFile(trace);
  // The program's modules end, then the library unloads.
  const std::string modules =
      "QuorvaBackup:SampelsTools.Finalization: SamplesCallBack In=0 Out=0"
      "Halvorin.Finalization:********************** ";
  const std::size_t at = text.find(modules);
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_NE(text.find("Halvorin_DownShut(): ENTERed", at + modules.size()), std::string::npos)
      << text;
}

}  // namespace
