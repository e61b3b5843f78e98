// Reading archives: restoring to the original place or below a folder, chosen entries, the
// definition entry, archives of Info-ZIP zip, passwords, overwrite modes, hostile and damaged
// archives.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "tests/engine/archive/zip_test_support.h"

using namespace zip_test;

namespace {

class ZipExtractTest : public ZipTest {
 protected:
  // Writes an archive of the given files (relative to the test folder) with a definition.
  void WriteArchive(const std::string& archive, const std::vector<std::string>& files,
                    bool compress = true, const std::string& password = "") {
    WriteFile(dir.P("tmp/def"), "definition");
    TZip zip;
    zip.CreateForWrite(Win(archive));
    zip.SetCompression(compress, 0);
    zip.SetPassword(!password.empty(), password);
    zip.AddDefinition(dir.W("tmp/def"));
    for (const std::string& f : files) zip.AddFile(dir.W(f));
    ASSERT_TRUE(zip.Execute());
  }

  // Builds an archive with Python's zipfile holding the given names, each with the given data.
  void PythonArchive(const std::string& archive, const std::vector<std::string>& names,
                     const std::string& data = "evil") {
    std::string args;
    for (const std::string& n : names) args += " " + Quote(n);
    std::string out;
    ASSERT_EQ(
        RunCommand(
            std::string(QUORVA_PYTHON) + " -c " +
                Quote("import sys, zipfile\n"
                      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                      "    for n in sys.argv[3:]: z.writestr(zipfile.ZipInfo(n), sys.argv[2])\n") +
                " " + Quote(archive) + " " + Quote(data) + args,
            &out),
        0)
        << out;
  }

  // Every regular file below the test folder, relative to it.
  std::set<std::string> AllFiles() const {
    std::set<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Posix()))
      if (e.is_regular_file())
        files.insert(std::filesystem::relative(e.path(), dir.Posix()).string());
    return files;
  }
};

// Original place: the stored path with the drive colon put back, the file time restored, the
// definition not written. Elsewhere: below the base folder, the definition only when asked.
TEST_F(ZipExtractTest, RestoresToTheOriginalPlaceAndElsewhere) {
  WriteFile(dir.P("src/a.txt"), "alpha");
  WriteFile(dir.P("src/deep/b.bin"), NoiseBytes(300000, 4));
  SetFileTime(dir.P("src/a.txt"), 1500000000);
  SetFileTime(dir.P("src/deep/b.bin"), 1400000000);
  WriteArchive(dir.P("job.qvp"), {"src/a.txt", "src/deep/b.bin"});
  std::filesystem::remove_all(dir.P("src"));

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("job.qvp"));
  zip.AttachHelper(&helper);
  ASSERT_TRUE(zip.Execute());
  EXPECT_TRUE(zip.FailedItems().empty());
  EXPECT_EQ(ReadFile(dir.P("src/a.txt")), "alpha");
  EXPECT_EQ(ReadFile(dir.P("src/deep/b.bin")), NoiseBytes(300000, 4));
  EXPECT_EQ(FileTime(dir.P("src/a.txt")), 1500000000);
  EXPECT_EQ(FileTime(dir.P("src/deep/b.bin")), 1400000000);
  EXPECT_EQ(ProgressStatus.Get(), dir.W("src/deep/b.bin"));
  EXPECT_EQ(AllFiles(),
            (std::set<std::string>{"job.qvp", "tmp/def", "src/a.txt", "src/deep/b.bin"}));

  THelper elsewhere;
  elsewhere.restoreElsewhere = true;
  elsewhere.extractDefinition = true;
  zip.AttachHelper(&elsewhere);
  zip.SetBaseFolder(dir.W("other"));
  ASSERT_TRUE(zip.Extract({Stored(dir.P("src/a.txt")), "$PRJDEF$.QVP"}));
  EXPECT_EQ(ReadFile(dir.P("other/$PRJDEF$.QVP")), "definition");
  EXPECT_EQ(ReadFile(dir.P("other/Z" + dir.P("src/a.txt"))), "alpha");
  EXPECT_FALSE(std::filesystem::exists(dir.P("other/Z" + dir.P("src/deep/b.bin"))));
  EXPECT_TRUE(Errors().empty());

  // A chosen name the archive does not hold is reported.
  ASSERT_TRUE(zip.Extract({"Z\\nowhere\\x.txt"}));
  EXPECT_EQ(zip.FailedItems(), std::vector<std::string>{"Z\\nowhere\\x.txt"});
  ASSERT_EQ(Errors().size(), 1u);
}

// A file at the root of a drive is stored as drive letter, backslash, name; elsewhere it goes
// into a folder named after the drive; a drive this system does not have is refused.
TEST_F(ZipExtractTest, DriveRootFileRestoresBelowItsDriveFolder) {
  PythonArchive(dir.P("c.zip"), {"C\\a.txt"}, "root file");
  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("c.zip"));
  zip.AttachHelper(&helper);
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(zip.FailedItems(), std::vector<std::string>{"C\\a.txt"});
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_NE(Errors()[0].find("C:"), std::string::npos) << Errors()[0];

  helper.restoreElsewhere = true;
  zip.SetBaseFolder(dir.W("base"));
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(ReadFile(dir.P("base/C/a.txt")), "root file");
}

// Only the first entry can be the definition.
TEST_F(ZipExtractTest, OnlyTheFirstEntryIsTheDefinition) {
  PythonArchive(dir.P("late.zip"), {Stored(dir.P("x.txt")), "$PRJDEF$.QVP"});
  TZip zip;
  zip.OpenForExtract(dir.W("late.zip"));
  ASSERT_EQ(zip.Entries().size(), 2u);
  EXPECT_FALSE(zip.Entries()[1].definition);
  EXPECT_FALSE(zip.ReadDefinition());
}

class ZipInfoZipTest : public ZipExtractTest, public ::testing::WithParamInterface<const char*> {};

// An archive of Info-ZIP zip, made inside a folder holding "Z" and the path below it, restores
// to its original place; its "/" names read as "\".
TEST_P(ZipInfoZipTest, RestoresToTheOriginalPlace) {
  const std::string password = GetParam();
  const std::string fix = dir.P("fix");
  WriteFile(fix + "/$PRJDEF$.QVP", "definition by the test");
  WriteFile(fix + "/Z" + dir.P("restore/a.txt"), "alpha");
  WriteFile(fix + "/Z" + dir.P("restore/sub/b.bin"), NoiseBytes(200000, 5));
  WriteFile(fix + "/Z" + dir.P("restore/\xC3\xA4 b.txt"), "umlaut");
  std::string out;
  ASSERT_EQ(RunCommand("cd " + Quote(fix) + " && zip -q -r " +
                           (password.empty() ? "" : "-P " + Quote(password) + " ") +
                           Quote(dir.P("iz.zip")) + " '$PRJDEF$.QVP' Z",
                       &out),
            0)
      << out;

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("iz.zip"));
  zip.AttachHelper(&helper);
  ASSERT_EQ(zip.Entries().size(), 4u);
  EXPECT_EQ(zip.Entries()[0].storedName, "$PRJDEF$.QVP");
  std::set<std::string> names;  // zip -r takes a folder in its own order
  for (size_t i = 1; i < zip.Entries().size(); ++i) names.insert(zip.Entries()[i].storedName);
  EXPECT_EQ(names, (std::set<std::string>{Stored(dir.P("restore/a.txt")),
                                          Stored(dir.P("restore/sub/b.bin")),
                                          Stored(dir.P("restore/\xC3\xA4 b.txt"))}));
  EXPECT_TRUE(zip.Entries()[0].definition);

  if (!password.empty()) ui->passwords = {password};
  const auto definition = zip.ReadDefinition();
  ASSERT_TRUE(definition);
  EXPECT_EQ(std::string(definition->begin(), definition->end()), "definition by the test");
  ASSERT_TRUE(zip.Execute());
  EXPECT_TRUE(zip.FailedItems().empty()) << (Errors().empty() ? "" : Errors()[0]);
  EXPECT_EQ(ReadFile(dir.P("restore/a.txt")), "alpha");
  EXPECT_EQ(ReadFile(dir.P("restore/sub/b.bin")), NoiseBytes(200000, 5));
  EXPECT_EQ(ReadFile(dir.P("restore/\xC3\xA4 b.txt")), "umlaut");
  EXPECT_FALSE(std::filesystem::exists(dir.P("restore/$PRJDEF$.QVP")));
  EXPECT_EQ(ui->passwordPrompts, password.empty() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(PlainAndPassword, ZipInfoZipTest, ::testing::Values("", "zip-pw"),
                         [](const auto& info) {
                           return std::string(*info.param ? "Password" : "Plain");
                         });

// Without the password (the prompt cancelled) encrypted entries fail; the files already there
// are left as they were.
TEST_F(ZipExtractTest, CancelledPasswordPromptFailsTheEntriesAndKeepsExistingFiles) {
  WriteFile(dir.P("src/a.txt"), "new a");
  WriteFile(dir.P("src/b.txt"), "new b");
  WriteArchive(dir.P("job.qvp"), {"src/a.txt", "src/b.txt"}, true, "pw");
  WriteFile(dir.P("src/a.txt"), "old a");
  std::filesystem::remove(dir.P("src/b.txt"));

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("job.qvp"));
  zip.AttachHelper(&helper);
  zip.SetOverwriteMode(2);
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(zip.FailedItems(),
            (std::vector<std::string>{Stored(dir.P("src/a.txt")), Stored(dir.P("src/b.txt"))}));
  EXPECT_GE(ui->passwordPrompts, 2);
  EXPECT_EQ(ReadFile(dir.P("src/a.txt")), "old a");
  EXPECT_EQ(FolderNames(dir.P("src")), std::vector<std::string>{"a.txt"});
}

struct TOverwriteCase {
  const char* name;
  std::uint8_t mode;
  std::vector<TOverwriteAnswer> answers;
  size_t asked;
  std::string expected;  // per file: n new, o old
  std::uint8_t modeAfter;
};

class ZipOverwriteTest : public ZipExtractTest,
                         public ::testing::WithParamInterface<TOverwriteCase> {};

TEST_P(ZipOverwriteTest, ExistingFilesFollowTheMode) {
  const TOverwriteCase& c = GetParam();
  const std::vector<std::string> files = {"src/a.txt", "src/b.txt", "src/c.txt"};
  for (const std::string& f : files) WriteFile(dir.P(f), "new " + f);
  WriteArchive(dir.P("job.qvp"), files);
  for (const std::string& f : files) WriteFile(dir.P(f), "old " + f);

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("job.qvp"));
  zip.AttachHelper(&helper);
  zip.SetOverwriteMode(c.mode);
  ui->overwrites.assign(c.answers.begin(), c.answers.end());
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(ui->overwriteAsked.size(), c.asked);
  if (!ui->overwriteAsked.empty()) {
    EXPECT_EQ(ui->overwriteAsked[0], dir.W("src/a.txt"));
  }
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(ReadFile(dir.P(files[i])), (c.expected[i] == 'n' ? "new " : "old ") + files[i]);
  EXPECT_EQ(helper.overwriteMode, c.modeAfter);
  EXPECT_EQ(FolderNames(dir.P("src")), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ZipOverwriteTest,
    ::testing::Values(
        TOverwriteCase{"Always", 2, {}, 0, "nnn", 2}, TOverwriteCase{"Skip", 4, {}, 0, "ooo", 4},
        TOverwriteCase{"AskRememberYes", 1, {{true, true}}, 1, "nnn", 2},
        TOverwriteCase{"AskRememberNo", 1, {{false, true}}, 1, "ooo", 4},
        TOverwriteCase{"AskEach", 1, {{false, false}, {true, false}, {false, false}}, 3, "ono", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Hostile names are refused and logged, nothing is written outside the target; the sound
// entry beside them is restored.
TEST_F(ZipExtractTest, HostileNamesAreRefused) {
  const std::string token = std::filesystem::path(dir.Posix()).filename().string();
  const std::vector<std::string> hostile = {
      "..\\evil-" + token,
      "../evil-" + token,
      "Z\\a\\..\\..\\evil-" + token,
      "/evil-" + token,
      "\\evil-" + token,
      "C:\\evil-" + token,
      "Z\\x\\C:evil-" + token,
      "Z\\\\evil-" + token,
      "Z\\.\\evil-" + token,
      "\\\\server\\share\\evil-" + token,
      "Z" + dir.P("") + "..\\evil-" + token,
  };
  for (const bool elsewhere : {false, true}) {
    SCOPED_TRACE(elsewhere ? "elsewhere" : "original place");
    log->Clear();
    const std::string good = elsewhere ? "ok\\good.txt" : Stored(dir.P("orig/good.txt"));
    std::vector<std::string> names = hostile;
    if (!elsewhere) names.push_back("C\\evil-" + token);
    names.push_back(good);
    const std::string archive = dir.P(elsewhere ? "h2.zip" : "h1.zip");
    PythonArchive(archive, names);

    TZip zip;
    THelper helper;
    zip.OpenForExtract(Win(archive));
    zip.AttachHelper(&helper);
    helper.restoreElsewhere = elsewhere;
    zip.SetBaseFolder(dir.W("base/inner"));
    ASSERT_TRUE(zip.Execute());
    EXPECT_EQ(zip.FailedItems().size(), names.size() - 1);
    EXPECT_EQ(Errors().size(), names.size() - 1);
  }
  EXPECT_EQ(AllFiles(),
            (std::set<std::string>{"h1.zip", "h2.zip", "orig/good.txt", "base/inner/ok/good.txt"}));
  for (const char* place : {"/", "/tmp/", "/Z/"})
    EXPECT_FALSE(std::filesystem::exists(place + ("evil-" + token)));
}

// A truncated, foreign, empty or damaged archive fails to open with a clear error.
TEST_F(ZipExtractTest, DamagedArchivesFailToOpen) {
  WriteFile(dir.P("src/a.txt"), TextBytes(2000, 6));
  WriteFile(dir.P("src/b.txt"), TextBytes(2000, 7));
  WriteArchive(dir.P("good.qvp"), {"src/a.txt", "src/b.txt"});
  const std::string good = ReadFile(dir.P("good.qvp"));
  std::string brokenDirectory = good;
  const size_t cd = brokenDirectory.rfind(std::string("PK\1\2", 4));
  ASSERT_NE(cd, std::string::npos);
  brokenDirectory.replace(cd, 8, "garbage!");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"truncated.qvp", good.substr(0, good.size() / 2)},
      {"tail-cut.qvp", good.substr(0, good.size() - 5)},
      {"foreign.qvp", NoiseBytes(5000, 8)},
      {"empty.qvp", ""},
      {"directory.qvp", brokenDirectory},
  };
  for (const auto& [name, bytes] : cases) {
    WriteFile(dir.P(name), bytes);
    TZip zip;
    try {
      zip.OpenForExtract(dir.W(name));
      ADD_FAILURE() << name << " opened";
    } catch (const EZipCancelled&) {
      ADD_FAILURE() << name << " reported as cancelled";
    } catch (const EZipError& e) {
      EXPECT_NE(std::string(e.what()).find(dir.W(name)), std::string::npos) << e.what();
    }
    EXPECT_TRUE(zip.Entries().empty());
  }
}

// Damaged entry data: that entry fails (logged), the existing file it would replace survives,
// the next entry is restored, no temporary file stays behind.
TEST_F(ZipExtractTest, DamagedEntryFailsAndTheExistingFileSurvives) {
  const std::string payload = "payload-" + NoiseBytes(4000, 9);
  WriteFile(dir.P("src/a.txt"), payload);
  WriteFile(dir.P("src/b.txt"), "bee");
  WriteArchive(dir.P("job.qvp"), {"src/a.txt", "src/b.txt"}, false);
  std::string bytes = ReadFile(dir.P("job.qvp"));
  const size_t at = bytes.find(payload.substr(0, 64));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 1000] ^= 0x55;
  WriteFile(dir.P("job.qvp"), bytes);
  WriteFile(dir.P("src/a.txt"), "old a");
  std::filesystem::remove(dir.P("src/b.txt"));

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("job.qvp"));
  zip.AttachHelper(&helper);
  zip.SetOverwriteMode(2);
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(zip.FailedItems(), std::vector<std::string>{Stored(dir.P("src/a.txt"))});
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_EQ(ZipErrorText.Get(), "[" + Errors()[0] + "]");
  EXPECT_EQ(ReadFile(dir.P("src/a.txt")), "old a");
  EXPECT_EQ(ReadFile(dir.P("src/b.txt")), "bee");
  EXPECT_EQ(FolderNames(dir.P("src")), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// An archive the user may only read opens and restores.
TEST_F(ZipExtractTest, ReadOnlyArchiveOpens) {
  WriteFile(dir.P("src/a.txt"), "alpha");
  WriteArchive(dir.P("job.qvp"), {"src/a.txt"});
  chmod(dir.P("job.qvp").c_str(), 0444);
  chmod(dir.Posix().c_str(), 0755);
  chmod(dir.P("src").c_str(), 0777);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // As root a mode does not stop writing; another user it does.
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    try {
      TZip zip;
      THelper helper;
      zip.OpenForExtract(dir.W("job.qvp"));
      zip.AttachHelper(&helper);
      helper.restoreElsewhere = true;
      zip.SetBaseFolder(dir.W("src"));
      const bool ok = zip.Entries().size() == 2 && zip.Execute() && zip.FailedItems().empty();
      for (const std::string& e : Errors()) fprintf(stderr, "%s\n", e.c_str());
      _exit(ok ? 0 : 1);
    } catch (...) {
      _exit(2);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(dir.P("src/Z" + dir.P("src/a.txt"))), "alpha");
}

}  // namespace
