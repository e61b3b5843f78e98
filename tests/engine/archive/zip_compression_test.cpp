// Every way an entry's bytes are packed, at every level, with and without a password: whole
// files deflated or stored (by the first look or by deflate's own result), empty files, and the
// chunks of a large file deflated or put in stored blocks. unzip, 7z, bsdtar and Python's zipfile
// read each archive; the restore gives back every source byte for byte.
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "tests/engine/archive/zip_test_support.h"

using namespace zip_test;

namespace {

constexpr int kStore = 0;
constexpr int kDeflate = 8;

struct TSource {
  const char* name;
  std::string bytes;
  int method;  // what the entry must be stored with
};

std::vector<TSource> Sources() {
  const std::string text = TextBytes(60000, 3);  // about 2.6 MB: a new chunk every MiB
  std::string chunkedMixed;
  while (chunkedMixed.size() < (6u << 20))
    chunkedMixed +=
        chunkedMixed.size() % (2u << 20) == 0 ? NoiseBytes(1u << 20, 9) : text.substr(0, 1u << 20);
  return {
      {"empty", "", kStore},
      {"text-small", TextBytes(40, 1), kDeflate},
      {"text", TextBytes(2500, 2), kDeflate},
      // Shorter than the first look: deflate is tried and does not shrink it.
      {"noise-small", NoiseBytes(9000, 4), kStore},
      // Its first bytes do not shrink: stored without deflating the rest.
      {"noise", NoiseBytes(150000, 5), kStore},
      {"noise-then-text", NoiseBytes(20000, 6) + TextBytes(2000, 6), kStore},
      {"text-then-noise", TextBytes(600, 7) + NoiseBytes(100000, 7), kDeflate},
      // Larger than a whole-file job: one deflate stream of flushed chunks.
      {"chunked-text", text + text + text, kDeflate},
      {"chunked-noise", NoiseBytes(5u << 20, 8), kDeflate},
      {"chunked-mixed", chunkedMixed, kDeflate},
  };
}

class ZipCompressionTest : public ZipTest, public ::testing::WithParamInterface<int> {};

// Lists "name method" of every entry, as Python's zipfile reads the central directory.
std::string Methods(const std::string& archive, const std::string& work) {
  const std::string script = work + "/methods.py";
  WriteFile(script,
            "import sys, zipfile\n"
            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
            "    print(i.filename.rsplit('\\\\', 1)[-1], i.compress_type)\n");
  std::string out;
  RunCommand(std::string(QUORVA_PYTHON) + " " + Quote(script) + " " + Quote(archive), &out);
  return out;
}

TEST_P(ZipCompressionTest, EveryPackingReadsBackWithEveryTool) {
  const int level = GetParam();
  const std::vector<TSource> sources = Sources();
  for (const std::string& password : {std::string(), std::string("s\xC3\xA9same")}) {
    SCOPED_TRACE("level " + std::to_string(level) + (password.empty() ? "" : ", password"));
    const std::string run = password.empty() ? "plain" : "locked";
    std::vector<std::pair<std::string, std::string>> expected;
    std::string methods;
    TZip zip;
    std::filesystem::create_directories(dir.P(run + "/out"));
    const std::string archive = dir.P(run + "/out/job.qvp");
    zip.CreateForWrite(Win(archive));
    THelper helper;
    zip.AttachHelper(&helper);
    zip.SetCompression(true, level);
    zip.SetPassword(!password.empty(), password);
    for (const TSource& s : sources) {
      const std::string path = dir.P(run + "/src/" + s.name);
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      WriteFile(path, s.bytes);
      zip.AddFile(Win(path));
      expected.emplace_back(Stored(path), path);
      methods += std::string(s.name) + " " + std::to_string(s.method) + "\n";
    }
    ASSERT_TRUE(zip.Execute());
    EXPECT_TRUE(zip.FailedItems().empty());
    EXPECT_EQ(Methods(archive, dir.P(run)), methods);

    std::string out;
    EXPECT_TRUE(UnzipTest(archive, password, &out)) << out;
    EXPECT_TRUE(SevenZipTest(archive, password, &out)) << out;
    EXPECT_EQ(RunCommand("bsdtar -tvf " + Quote(archive) + " >/dev/null", &out), 0) << out;
    // bsdtar reads every entry's data through (it decrypts with the passphrase).
    EXPECT_EQ(RunCommand("bsdtar -x -O " +
                             (password.empty() ? "" : "--passphrase " + Quote(password) + " ") +
                             "-f " + Quote(archive) + " | cksum",
                         &out),
              0)
        << out;
    EXPECT_TRUE(PythonReadsBack(archive, password, expected, dir.P(run), &out)) << out;

    TZip reader;
    THelper restoring;
    if (!password.empty()) reader.SetPassword(true, password);
    reader.OpenForExtract(Win(archive));
    reader.AttachHelper(&restoring);
    restoring.restoreElsewhere = true;
    reader.SetBaseFolder(dir.W(run + "/restored"));
    ASSERT_TRUE(reader.Execute());
    EXPECT_TRUE(reader.FailedItems().empty());
    for (const auto& [name, source] : expected)
      EXPECT_EQ(
          RunCommand("cmp -s " + Quote(source) + " " + Quote(dir.P(run + "/restored/Z" + source))),
          0)
          << name;
  }
}

// The levels of a project: normal, maximum, fast, super fast.
INSTANTIATE_TEST_SUITE_P(Levels, ZipCompressionTest, ::testing::Values(0, 1, 2, 3));

}  // namespace
