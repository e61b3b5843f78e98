// Split archives: byte slices named by the volume rule, one standard zip when joined, read
// back volume by volume as each is needed, stale slices removed.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "app/engine/archive/zip_commit.h"
#include "app/engine/archive/zip_commit_record.h"
#include "app/engine/archive/zip_names.h"
#include "platform/fs/fs.h"
#include "tests/engine/archive/zip_test_support.h"

using namespace zip_test;

namespace {

class ZipVolumesTest : public ZipTest {
 protected:
  void SetUp() override {
    ZipTest::SetUp();
    std::filesystem::create_directories(dir.P("out"));
  }

  // Writes the files (relative to the test folder) into `archive` with that volume size.
  std::vector<std::string> Write(const std::string& archive, const std::vector<std::string>& files,
                                 std::uint64_t volumeSize, bool withDefinition = false,
                                 const std::string& password = "") {
    THelper helper;
    TZip zip;
    zip.CreateForWrite(Win(archive));
    zip.AttachHelper(&helper);
    zip.SetCompression(true, 0);
    zip.SetVolumeSize(volumeSize);
    zip.SetPassword(!password.empty(), password);
    if (withDefinition) {
      WriteFile(dir.P("tmp/def"), "definition");
      zip.AddDefinition(dir.W("tmp/def"));
    }
    for (const std::string& f : files) zip.AddFile(dir.W(f));
    EXPECT_TRUE(zip.Execute());
    EXPECT_TRUE(zip.FailedItems().empty());
    return helper.volumeNames;
  }

  // Volume numbers the user was asked for.
  std::vector<int> AskedVolumes() const {
    std::vector<int> asked;
    for (const std::string& t : ui->chooseTitles) {
      EXPECT_EQ(t.rfind("Choose file for volume ", 0), 0u) << t;
      asked.push_back(std::stoi(t.substr(23)));
    }
    return asked;
  }
};

TEST(ZipVolumeNames, SuffixesFollowTheRule) {
  EXPECT_EQ(VolumeName("Z:\\bk\\job.qvp", 1), "Z:\\bk\\job.001");
  EXPECT_EQ(VolumeName("Z:\\bk\\job.qvp", 7), "Z:\\bk\\job.007");
  EXPECT_EQ(VolumeName("Z:\\bk\\job.qvp", 10), "Z:\\bk\\job.010");
  EXPECT_EQ(VolumeName("Z:\\bk\\job.qvp", 99), "Z:\\bk\\job.099");
  EXPECT_EQ(VolumeName("Z:\\bk\\job.qvp", 100), "Z:\\bk\\job;100");
  EXPECT_EQ(VolumeName("Z:\\bk\\job.v2.qvp", 120), "Z:\\bk\\job.v2;120");
  EXPECT_EQ(VolumeName("Z:\\bk\\job", 3), "Z:\\bk\\job.003");
  EXPECT_EQ(VolumeSizeFor(0), 1468006u);
  EXPECT_EQ(VolumeSizeFor(1), 681574400u);
  EXPECT_EQ(VolumeSizeFor(2), 734003200u);
  EXPECT_EQ(VolumeSizeFor(3), 460000000u);
}

// 121 slices (encrypted): the archive and volumes .001-.099, ;100-;120; joined with cat they
// pass unzip -t and Python; read back through TZip every file restores; a later, shorter archive of
// the same name removes the slices it no longer has.
TEST_F(ZipVolumesTest, HundredAndTwentyOneSlices) {
  std::vector<std::string> files;
  for (int i = 0; i < 10; ++i) {
    files.push_back("src/f" + std::to_string(i) + ".bin");
    WriteFile(dir.P(files.back()), NoiseBytes(25000, 10 + i));
  }
  Write(dir.P("probe.qvp"), files, 0, true, "split-pw");
  const std::uint64_t whole = std::filesystem::file_size(dir.P("probe.qvp"));
  const std::uint64_t volumeSize = (whole + 120) / 121;
  ASSERT_GT(whole, 120 * volumeSize);

  const std::vector<std::string> names =
      Write(dir.P("out/job.qvp"), files, volumeSize, true, "split-pw");
  const auto suffix = [](int n) {
    return (n < 10 ? ".00" : n < 100 ? ".0" : ";") + std::to_string(n);
  };
  std::vector<std::string> expectedNames;
  std::vector<std::string> slices = {dir.P("out/job.qvp")};
  for (int n = 1; n <= 120; ++n) {
    expectedNames.push_back(dir.W("out/job") + suffix(n));
    slices.push_back(dir.P("out/job") + suffix(n));
  }
  EXPECT_EQ(names, expectedNames);
  std::string catArgs;
  for (size_t i = 0; i < slices.size(); ++i) {
    ASSERT_TRUE(std::filesystem::exists(slices[i])) << slices[i];
    if (i + 1 < slices.size()) {
      EXPECT_EQ(std::filesystem::file_size(slices[i]), volumeSize);
    }
    catArgs += " " + Quote(slices[i]);
  }
  EXPECT_EQ(FolderNames(dir.P("out")).size(), 121u);
  ASSERT_EQ(RunCommand("cat" + catArgs + " > " + Quote(dir.P("joined.zip"))), 0);
  std::string out;
  EXPECT_TRUE(UnzipTest(dir.P("joined.zip"), "split-pw", &out)) << out;
  std::vector<std::pair<std::string, std::string>> expected = {{"$PRJDEF$.QVP", dir.P("tmp/def")}};
  for (const std::string& f : files) expected.emplace_back(Stored(dir.P(f)), dir.P(f));
  EXPECT_TRUE(PythonReadsBack(dir.P("joined.zip"), "split-pw", expected, dir.Posix(), &out)) << out;

  {
    TZip zip;
    THelper helper;
    zip.OpenForExtract(dir.W("out/job.qvp"));
    zip.AttachHelper(&helper);
    helper.restoreElsewhere = true;
    zip.SetBaseFolder(dir.W("restored"));
    EXPECT_EQ(zip.Entries().size(), files.size() + 1);
    ui->passwords = {"split-pw"};
    ASSERT_TRUE(zip.Execute());
    EXPECT_EQ(ui->passwordPrompts, 1);
    EXPECT_TRUE(zip.FailedItems().empty());
    for (const std::string& f : files)
      EXPECT_EQ(ReadFile(dir.P("restored/Z" + dir.P(f))), ReadFile(dir.P(f))) << f;
    const std::vector<int> asked = AskedVolumes();
    EXPECT_EQ(std::set<int>(asked.begin(), asked.end()).size(), asked.size()) << "asked twice";
    EXPECT_EQ(asked.size(), 120u);
    EXPECT_EQ(ui->chooseFilters[0], "*");
  }

  Write(dir.P("out/job.qvp"), {files[0]}, volumeSize);
  const auto left = FolderNames(dir.P("out"));
  ASSERT_GE(left.size(), 2u);
  ASSERT_LT(left.size(), 30u);
  for (size_t n = 1; n < left.size(); ++n)
    EXPECT_EQ(left[n - 1], "job.0" + std::string(n < 10 ? "0" : "") + std::to_string(n));
  EXPECT_EQ(left.back(), "job.qvp");

  Write(dir.P("out/job.qvp"), {files[0]}, 0);
  EXPECT_EQ(FolderNames(dir.P("out")), std::vector<std::string>{"job.qvp"});
  EXPECT_TRUE(UnzipTest(dir.P("out/job.qvp"), "", &out)) << out;
}

// Reading the definition and one small entry at the end asks for the last volumes only, not
// for those that hold the data of the big entry in between.
TEST_F(ZipVolumesTest, AsksOnlyForTheVolumesItReads) {
  WriteFile(dir.P("src/big.bin"), NoiseBytes(200000, 20));
  WriteFile(dir.P("src/small.txt"), "small");
  const auto names = Write(dir.P("out/job.qvp"), {"src/big.bin", "src/small.txt"}, 8192, true);
  const int last = static_cast<int>(names.size());
  ASSERT_GT(last, 20);

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("out/job.qvp"));
  zip.AttachHelper(&helper);
  const auto definition = zip.ReadDefinition();
  ASSERT_TRUE(definition);
  EXPECT_EQ(std::string(definition->begin(), definition->end()), "definition");
  helper.restoreElsewhere = true;
  zip.SetBaseFolder(dir.W("restored"));
  ASSERT_TRUE(zip.Extract({Stored(dir.P("src/small.txt"))}));
  EXPECT_EQ(ReadFile(dir.P("restored/Z" + dir.P("src/small.txt"))), "small");
  const std::vector<int> asked = AskedVolumes();
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[0], last) << "the last volume first: it holds the central directory";
  for (int n : asked) EXPECT_GE(n, last - 2) << "volume " << n << " holds only data not read";
}

// The user may point to a volume kept somewhere else; a volume that is nowhere fails the
// opening with a clear error.
TEST_F(ZipVolumesTest, VolumeChosenByTheUserAndMissingVolume) {
  WriteFile(dir.P("src/a.bin"), NoiseBytes(40000, 30));
  Write(dir.P("out/job.qvp"), {"src/a.bin"}, 4096);
  std::filesystem::create_directories(dir.P("moved"));
  std::filesystem::rename(dir.P("out/job.004"), dir.P("moved/fourth"));
  std::vector<std::string> proposed;
  ui->choose = [&](const std::string& title,
                   const std::string& name) -> std::optional<std::string> {
    proposed.push_back(name);
    if (title == "Choose file for volume 4") return dir.W("moved/fourth");
    return std::nullopt;
  };
  {
    TZip zip;
    THelper helper;
    zip.OpenForExtract(dir.W("out/job.qvp"));
    zip.AttachHelper(&helper);
    helper.restoreElsewhere = true;
    zip.SetBaseFolder(dir.W("restored"));
    ASSERT_TRUE(zip.Execute());
    EXPECT_EQ(ReadFile(dir.P("restored/Z" + dir.P("src/a.bin"))), NoiseBytes(40000, 30));
    EXPECT_NE(std::find(proposed.begin(), proposed.end(), dir.W("out/job.004")), proposed.end());
    EXPECT_NE(
        std::find(helper.volumeNames.begin(), helper.volumeNames.end(), dir.W("moved/fourth")),
        helper.volumeNames.end());
  }
  ui->choose = nullptr;
  TZip zip;
  try {
    zip.OpenForExtract(dir.W("out/job.qvp"));
    FAIL() << "no error for a missing volume";
  } catch (const EZipError& e) {
    EXPECT_NE(std::string(e.what()).find(dir.W("out/job.004")), std::string::npos) << e.what();
  }
  EXPECT_TRUE(zip.Entries().empty());
}

// Damaged entries across a split archive of many entries: a header, a run of entries whose data
// was zeroed, one past the first view libarchive reads again from, and the last entry's header.
// Each fails alone; every other entry restores.
TEST_F(ZipVolumesTest, DamagedEntriesFailAloneAndTheOthersRestore) {
  constexpr int kFiles = 1300;
  std::vector<std::string> files;
  for (int i = 0; i < kFiles; ++i) {
    files.push_back("src/f" + std::to_string(10000 + i) + ".txt");
    WriteFile(dir.P(files.back()), "file " + std::to_string(i) + " " + TextBytes(2, i));
  }
  Write(dir.P("out/job.qvp"), files, 65536, true);
  std::vector<std::string> slices = {dir.P("out/job.qvp")};
  for (int n = 1; std::filesystem::exists(
           dir.P("out/job.0" + std::string(n < 10 ? "0" : "") + std::to_string(n)));
       ++n)
    slices.push_back(dir.P("out/job.0" + std::string(n < 10 ? "0" : "") + std::to_string(n)));
  ASSERT_GT(slices.size(), 5u);
  std::string all;
  for (const std::string& s : slices) all += ReadFile(s);

  // The local header of each entry, in archive order (the definition first).
  std::vector<size_t> headers;
  for (size_t at = all.find(std::string("PK\3\4", 4)); at != std::string::npos;
       at = all.find(std::string("PK\3\4", 4), at + 4))
    headers.push_back(at);
  ASSERT_EQ(headers.size(), files.size() + 1);
  const auto nameAt = [&](size_t entry) {
    const size_t h = headers[entry];
    const size_t len = static_cast<std::uint8_t>(all[h + 26]) | (all[h + 27] << 8);
    return all.substr(h + 30, len);
  };
  std::set<std::string> damaged;
  auto damageHeader = [&](size_t entry) {
    damaged.insert(nameAt(entry));
    all.replace(headers[entry], 4, "XXXX");
  };
  damageHeader(10);
  for (size_t entry = 1100; entry <= 1105; ++entry) {  // the data of six entries, zeroed
    damaged.insert(nameAt(entry));
    const size_t data = headers[entry] + 30 + nameAt(entry).size() + 40;
    all.replace(data, headers[entry + 1] - data, headers[entry + 1] - data, '\0');
  }
  damageHeader(headers.size() - 1);
  size_t at = 0;
  for (const std::string& s : slices) {
    const size_t n = std::filesystem::file_size(s);
    WriteFile(s, all.substr(at, n));
    at += n;
  }

  TZip zip;
  THelper helper;
  zip.OpenForExtract(dir.W("out/job.qvp"));
  zip.AttachHelper(&helper);
  helper.restoreElsewhere = true;
  zip.SetBaseFolder(dir.W("restored"));
  ASSERT_TRUE(zip.Execute());
  EXPECT_EQ(std::set<std::string>(zip.FailedItems().begin(), zip.FailedItems().end()), damaged);
  EXPECT_EQ(zip.FailedItems().size(), damaged.size());
  EXPECT_EQ(Errors().size(), damaged.size());
  size_t restored = 0;
  for (const std::string& f : files) {
    const std::string target = dir.P("restored/Z" + dir.P(f));
    if (damaged.count(Stored(dir.P(f)))) {
      EXPECT_FALSE(std::filesystem::exists(target)) << f;
      continue;
    }
    ++restored;
    EXPECT_TRUE(ReadFile(target) == ReadFile(dir.P(f))) << f;
  }
  EXPECT_EQ(restored, files.size() - damaged.size());
  EXPECT_EQ(FolderNames(dir.P("restored/Z" + dir.P("src"))).size(), restored);
}

// A replacement that a stop cut short with one of its new slices gone: the earlier archive is
// put back from the names the record gives, and said so. A record that cannot be read stops
// the next write of the archive, which leaves the record and the earlier files as they are.
TEST_F(ZipVolumesTest, InterruptedReplacementIsUndoneWithoutItsNewSlices) {
  WriteFile(dir.P("src/a.bin"), NoiseBytes(30000, 40));
  Write(dir.P("out/job.qvp"), {"src/a.bin"}, 12000);
  const std::vector<std::string> names = {"job.001", "job.002", "job.qvp"};
  ASSERT_EQ(FolderNames(dir.P("out")), names);
  std::vector<std::string> earlier;
  for (const std::string& n : names) earlier.push_back(ReadFile(dir.P("out/" + n)));

  // The state of a replacement by two new slices, stopped after the earlier files went aside
  // and the first new slice was renamed in.
  TCommitPlan plan;
  const auto identity = [](const std::string& posix) {
    return *platform::fs::Identify(Win(posix));
  };
  WriteFile(dir.P("out/QVZ0001.tmp"), "new archive file");
  WriteFile(dir.P("out/QVZ0002.tmp"), "new volume");
  for (const char* n : {"QVZ0001.tmp", "QVZ0002.tmp"}) {
    plan.fresh.push_back(
        {"", dir.W(std::string("out/") + n), identity(dir.P(std::string("out/") + n))});
  }
  plan.fresh[0].path = dir.W("out/job.qvp");
  plan.fresh[1].path = dir.W("out/job.001");
  const char* aside[] = {"QVO0001.tmp", "QVO0002.tmp", "QVO0003.tmp"};
  const char* finals[] = {"job.qvp", "job.001", "job.002"};
  for (int i = 0; i < 3; ++i) {
    plan.earlier.push_back({dir.W(std::string("out/") + finals[i]),
                            dir.W(std::string("out/") + aside[i]),
                            identity(dir.P(std::string("out/") + finals[i]))});
    std::filesystem::rename(dir.P(std::string("out/") + finals[i]),
                            dir.P(std::string("out/") + aside[i]));
  }
  std::filesystem::rename(dir.P("out/QVZ0002.tmp"), dir.P("out/job.001"));
  std::filesystem::remove(dir.P("out/QVZ0001.tmp"));  // the new archive file is gone
  const std::string record = dir.P("out/job.qvp.commit");
  WriteFile(record, EncodeCommitRecord(plan));

  // A damaged record: nothing is moved, the archive is not written over.
  WriteFile(record, EncodeCommitRecord(plan).substr(0, 40));
  {
    TZip zip;
    try {
      zip.CreateForWrite(dir.W("out/job.qvp"));
      ADD_FAILURE() << "written over an unfinished replacement";
    } catch (const EZipError& e) {
      EXPECT_NE(std::string(e.what()).find(dir.W("out/job.qvp.commit")), std::string::npos)
          << e.what();
    }
  }
  EXPECT_EQ(FolderNames(dir.P("out")),
            (std::vector<std::string>{"QVO0001.tmp", "QVO0002.tmp", "QVO0003.tmp", "job.001",
                                      "job.qvp.commit"}));

  WriteFile(record, EncodeCommitRecord(plan));
  log->Clear();
  EXPECT_TRUE(FinishInterruptedCommit(dir.W("out/job.qvp.commit")));
  EXPECT_EQ(FolderNames(dir.P("out")), names);
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_TRUE(ReadFile(dir.P("out/" + names[i])) == earlier[i]) << names[i];
  ASSERT_EQ(log->Entries().size(), 1u);
  EXPECT_EQ(log->Entries()[0].message,
            "The replacement of the archive " + dir.W("out/job.qvp") +
                " was not finished: the earlier archive is back in place.");
  EXPECT_TRUE(FinishInterruptedCommit(dir.W("out/job.qvp.commit")));  // nothing left to do
  EXPECT_EQ(log->Entries().size(), 1u);
}

// The record's text: what it was written with reads back; anything cut short or changed in
// its form does not read at all.
TEST(ZipCommitRecord, ReadsBackWholeOrNotAtAll) {
  const auto id = [](std::uint64_t device, std::uint64_t inode, std::optional<std::int64_t> birth) {
    platform::fs::FileIdentity i;
    i.device = device;
    i.inode = inode;
    i.birthNsec = birth;
    return i;
  };
  TCommitPlan plan;
  plan.fresh = {{"Z:\\bk\\job.qvp", "Z:\\bk\\QVZ0001.tmp", id(1, 2, 1797000512519574637)},
                {"Z:\\bk\\job.001", "Z:\\bk\\QVZ\t%\n.tmp", id(3, 4, std::nullopt)}};
  plan.earlier = {{"Z:\\bk\\job.qvp", "Z:\\bk\\QVO0001.tmp", id(5, 6, 7)}};
  const std::string text = EncodeCommitRecord(plan);
  const auto back = DecodeCommitRecord(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(EncodeCommitRecord(*back), text);
  EXPECT_EQ(back->fresh[1].moved, "Z:\\bk\\QVZ\t%\n.tmp");
  EXPECT_EQ(back->fresh[0].identity.birthNsec, 1797000512519574637);
  EXPECT_EQ(back->fresh[1].identity.birthNsec, std::nullopt);
  EXPECT_TRUE(platform::fs::SameFile(back->earlier[0].identity, plan.earlier[0].identity));
  for (size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(DecodeCommitRecord(text.substr(0, n))) << n;
  TCommitPlan none = plan;
  none.fresh.clear();
  EXPECT_FALSE(DecodeCommitRecord(EncodeCommitRecord(none)));
  std::string swapped = text;
  swapped.replace(swapped.find("new"), 3, "old");
  EXPECT_FALSE(DecodeCommitRecord(swapped));
}

}  // namespace
