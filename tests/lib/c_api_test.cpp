// Runs the C program of tests/lib/c, which knows the library only through halvorin.h and
// libhalvorin.so, against virtual recorders and against Debian's tgtd through the iSCSI
// adapter. This process only writes the configuration the library reads and starts tgtd.
#include <cstdlib>

#include "tests/lib/lib_test_support.h"
#include "tests/support/tgtd_target.h"

namespace libtest {
namespace {

std::string BuildDir() {
  const char* dir = std::getenv("QUORVA_BUILD_DIR");
  return dir ? dir : ".";
}

// Runs the program with the expected devices; its exit status is its number of failures.
int RunProgram(const std::vector<std::string>& devices, std::string* output) {
  std::string command = BuildDir() + "/lib/halvorin_c_api";
  for (const auto& d : devices) command += " '" + d + "'";
  return RunCommand(command + " 2>&1", output);
}

class HalvorinCApi : public AspiTest {
 protected:
  void NamedRecorders(const std::vector<std::pair<std::string, Media>>& recorders) {
    std::vector<at::RecorderConfig> configs;
    for (const auto& [name, media] : recorders) {
      at::RecorderConfig c;
      c.name = name;
      c.media = media;
      configs.push_back(c);
    }
    at::ConfigureRecorders(configs);
  }
};

TEST_F(HalvorinCApi, FindsAndNamesTheVirtualRecorders) {
  NamedRecorders(
      {{"Burner-A", Media::CdR}, {"Burner-B", Media::DvdR}, {"Burner-C", Media::DvdPlusRw}});
  const std::vector<std::string> devices = {"5,0,0,Burner-A", "5,0,1,Burner-B", "5,0,2,Burner-C"};
  setenv("HALVORIN_DEBUG_OUTPUT", dir.P("trace.txt").c_str(), 1);
  std::string out;
  EXPECT_EQ(RunProgram(devices, &out), 0) << out;
  unsetenv("HALVORIN_DEBUG_OUTPUT");
  const std::string trace = ReadFile(dir.P("trace.txt"));
  EXPECT_NE(trace.find("\nHalvorin:Halvorin_UpStart(): ENTERed\n"), std::string::npos);  // on load
  EXPECT_NE(trace.find("\nHalvorin:Halvorin_FindDevice(): ENTERed"), std::string::npos);
  // Shut down by the program once and by the unload once more.
  size_t downShuts = 0;
  for (size_t at = trace.find("Halvorin:Halvorin_DownShut(): ENTERed"); at != std::string::npos;
       at = trace.find("Halvorin:Halvorin_DownShut(): ENTERed", at + 1))
    ++downShuts;
  EXPECT_EQ(downShuts, 2u);

  EXPECT_EQ(RunProgram(devices, &out), 0) << out;
  EXPECT_EQ(out.find("ENTERed"), std::string::npos) << "the trace goes nowhere by default";
}

TEST_F(HalvorinCApi, FindsTheTgtdTargetsThroughTheIscsiAdapter) {
  if (!TTgtdTarget::Installed()) GTEST_SKIP() << "tgtd is not installed";
  TTgtdTarget tgtd;
  ASSERT_EQ(tgtd.Start(dir), "");
  NamedRecorders({{"Burner-A", Media::CdR}});
  at::ConfigureIscsi({tgtd.Url(1), tgtd.Url(2)});
  std::string out;
  EXPECT_EQ(RunProgram({"5,0,0,Burner-A", "5,1,0," + tgtd.Url(1), "0,2,0," + tgtd.Url(2)}, &out), 0)
      << out;
  at::ConfigureIscsi({});
}

}  // namespace
}  // namespace libtest
