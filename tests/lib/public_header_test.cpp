// A C caller needs nothing of the library's sources but lib/include: the public header includes
// only system headers and compiles on its own as strict C11, and so do the C programs of
// tests/lib/c with that folder as their only include folder.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

const std::string kSource = QUORVA_TEST_SOURCE_DIR;
const std::string kInclude = kSource + "/../lib/include";

TEST(PublicHeader, IncludesOnlySystemHeaders) {
  std::istringstream lines(ReadFile(kInclude + "/halvorin.h"));
  std::string line;
  int includes = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("#include", 0) != 0) continue;
    ++includes;
    EXPECT_NE(line.find('<'), std::string::npos) << line;
  }
  EXPECT_GT(includes, 0);
}

TEST(PublicHeader, CompilesAsStrictC11WithItsFolderAlone) {
  TempDir dir;
  // The header first, so that nothing included before it makes up for what it lacks.
  WriteFile(dir.P("caller.c"),
            "#include \"halvorin.h\"\n"
            "\n"
            "HALVORIN_DEVICE_ADDRESS address;\n"
            "int Reason(void) { return (int)sizeof address + "
            "HALVORIN_CALLBACK_REASON_DEVICE_FOUND; }\n");
  for (const std::string& c :
       {dir.P("caller.c"), kSource + "/lib/c/halvorin_c_api.c",
        kSource + "/lib/c/halvorin_burn_c.c", kSource + "/lib/c/halvorin_file_tree_c.c"}) {
    SCOPED_TRACE(c);
    std::string out;
    EXPECT_EQ(RunCommand("cc -std=c11 -Wall -Wextra -Werror -I '" + kInclude + "' -c '" + c +
                             "' -o '" + dir.P("caller.o") + "' 2>&1",
                         &out),
              0)
        << out;
  }
}

}  // namespace
