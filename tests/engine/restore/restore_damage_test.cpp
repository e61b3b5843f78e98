// Archives with one damaged entry, restored by the restore run: that entry alone fails (logged
// and counted), every other file is restored byte for byte, the file the damaged entry would
// replace keeps its bytes, and nothing is left under its name or a temporary one. A damaged
// central directory still fails the whole archive.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/engine/archive/zip_directory.h"
#include "app/engine/archive/zip_names.h"
#include "app/engine/restore/restore_report.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

namespace fsys = std::filesystem;

enum class TDamage { DeflateData, StoredData, CrcField, SizeField, LocalHeader, Directory };
enum class TPlace { Middle, Last, MiddleOfSecondVolume };

struct TDamageCase {
  const char* name;
  TDamage damage;
  TPlace place;
};

constexpr std::uint64_t kVolumeSize = 1468006;  // split size index 0

std::uint32_t Le32(const std::string& s, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i]);
  return v;
}
std::uint16_t Le16(const std::string& s, size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) |
                                    (static_cast<std::uint8_t>(s[at + 1]) << 8));
}

class RestoreDamageTest : public RestoreTest, public ::testing::WithParamInterface<TDamageCase> {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    source = dir.P("src");
    // Deflatable text entries of about 10 KB; with a split archive, incompressible ones between
    // them fill three volumes.
    for (int i = 0; i < 60; ++i)
      WriteFile(source + "/t" + std::to_string(100 + i) + ".txt", TextBytes(130, 40 + i));
    if (Split())
      for (int i = 0; i < 4; ++i)
        WriteFile(source + "/n" + std::to_string(i) + ".bin", NoiseBytes(900000, 90 + i));
    fsys::create_directories(dir.P("out"));
    TProject project;
    SetUpProject(project, "job", source, dir.P("out/job.qvp"), dir.P("job.bpj"));
    project.Compress = GetParam().damage != TDamage::StoredData;
    project.Split = Split();
    project.SplitSizeIndex = 0;
    Backup(project);
    ASSERT_EQ(fsys::exists(dir.P("out/job.002")), Split());
    ASSERT_EQ(fsys::exists(dir.P("out/job.003")), false);
    for (const std::string& f : FilesBelow(source)) backedUp[f] = ReadFile(source + "/" + f);
  }

  bool Split() const { return GetParam().place == TPlace::MiddleOfSecondVolume; }

  std::vector<std::string> Slices() const {
    std::vector<std::string> slices = {dir.P("out/job.qvp")};
    for (int n = 1; fsys::exists(dir.P("out/job.00" + std::to_string(n))); ++n)
      slices.push_back(dir.P("out/job.00" + std::to_string(n)));
    return slices;
  }

  // The archive's bytes, its volumes joined.
  std::string Joined() const {
    std::string all;
    for (const std::string& s : Slices()) all += ReadFile(s);
    return all;
  }
  void WriteJoined(const std::string& all) const {
    size_t at = 0;
    for (const std::string& s : Slices()) {
      const size_t n = fsys::file_size(s);
      WriteFile(s, all.substr(at, n));
      at += n;
    }
  }

  // Damages the entry the case chooses; returns its source file (relative to the source).
  std::string Damage() {
    std::string all = Joined();
    const TZipByteSource read = [&](std::uint64_t offset, void* buffer, size_t n) {
      if (offset > all.size() || all.size() - offset < n) return false;
      std::memcpy(buffer, all.data() + offset, n);
      return true;
    };
    const auto list = ReadZipDirectory(read, all.size(), 1 << 30);
    EXPECT_TRUE(list.has_value());
    if (!list) return {};
    // The text entries in archive order (the definition and the big files left out).
    std::vector<const TZipDirectoryEntry*> text;
    for (const TZipDirectoryEntry& e : *list)
      if (e.rawName.size() > 4 && e.rawName.compare(e.rawName.size() - 4, 4, ".txt") == 0)
        text.push_back(&e);
    EXPECT_GE(text.size(), 60u);
    const TZipDirectoryEntry* victim = text[text.size() / 2];
    switch (GetParam().place) {
      case TPlace::Middle:
        break;
      case TPlace::Last:
        victim = &list->back();
        break;
      case TPlace::MiddleOfSecondVolume: {
        // The entry nearest the middle of volume .001 that lies wholly inside it.
        const double middle = 1.5 * kVolumeSize;
        victim = nullptr;
        for (const TZipDirectoryEntry* e : text) {
          const std::uint64_t end = e->localOffset + 200 + e->compressedSize;
          if (e->localOffset < kVolumeSize || end > 2 * kVolumeSize) continue;
          if (!victim || std::abs(e->localOffset - middle) < std::abs(victim->localOffset - middle))
            victim = e;
        }
        EXPECT_NE(victim, nullptr);
        if (!victim) return {};
        break;
      }
    }
    const auto data = ZipDataOffset(read, all.size(), *victim);
    EXPECT_TRUE(data.has_value());
    if (!data) return {};
    const size_t header = static_cast<size_t>(victim->localOffset);
    // Its record in the central directory.
    size_t central = all.rfind(std::string("PK\1\2", 4));
    while (central != std::string::npos &&
           (Le32(all, central + 42) != victim->localOffset ||
            all.compare(central + 46, Le16(all, central + 28), victim->rawName) != 0))
      central = central == 0 ? std::string::npos : all.rfind(std::string("PK\1\2", 4), central - 1);
    EXPECT_NE(central, std::string::npos);
    if (central == std::string::npos) return {};
    switch (GetParam().damage) {
      case TDamage::DeflateData:
      case TDamage::StoredData: {
        EXPECT_GT(victim->compressedSize, 256u);
        const std::string garbage = NoiseBytes(64, 77);
        all.replace(static_cast<size_t>(*data + victim->compressedSize / 2), 64, garbage);
        break;
      }
      // Every record that carries the field: the central one, and the local header or the
      // data descriptor after the data.
      case TDamage::CrcField:
      case TDamage::SizeField: {
        const bool crc = GetParam().damage == TDamage::CrcField;
        size_t local = header + (crc ? 14 : 22);
        if (Le16(all, header + 6) & 8) {
          local = static_cast<size_t>(*data + victim->compressedSize);
          EXPECT_EQ(all.compare(local, 4, "PK\7\10"), 0);
          local += crc ? 4 : 12;
        }
        for (const size_t at : {central + (crc ? 16 : 24), local})
          all[at] = static_cast<char>(crc ? all[at] ^ 0x5A : all[at] + 7);
        break;
      }
      case TDamage::LocalHeader:
        all.replace(header, 4, "XXXX");
        break;
      case TDamage::Directory:
        all.replace(central, 4, "XXXX");
        break;
    }
    WriteJoined(all);
    std::string stored = NormalizeStoredName(victim->rawName);
    const std::string prefix = Stored(source) + "\\";
    EXPECT_EQ(stored.compare(0, prefix.size(), prefix), 0) << stored;
    return stored.substr(prefix.size());
  }

  TRestoreOutcome Restore(bool elsewhere, const std::string& target) {
    TRestoreJob job;
    job.RestoreArchivePath = dir.W("out/job.qvp");
    job.RestoreFolderItems.Add(Win(source) + "\\", 0);
    job.RestoreToOtherFolder = elsewhere ? 1 : 0;
    job.RestoreTargetFolder = elsewhere ? Win(target) : "";
    job.RestoreOverwriteIndex = 1;  // always overwrite
    ui->messages.clear();
    log->Clear();
    return Run(job);
  }

  std::string source;
  std::map<std::string, std::string> backedUp;  // relative path -> bytes
};

std::vector<std::string> TemporaryFiles(const std::string& root) {
  std::vector<std::string> found;
  for (const std::string& f : FilesBelow(root))
    if (fsys::path(f).filename().string().rfind("QVR", 0) == 0) found.push_back(f);
  return found;
}

TEST_P(RestoreDamageTest, OnlyTheDamagedEntryFails) {
  const std::string victim = Damage();
  ASSERT_FALSE(victim.empty());
  const bool whole = GetParam().damage == TDamage::Directory;
  // Info-ZIP finds the damage too (it does not check the size).
  WriteFile(dir.P("joined.zip"), Joined());
  const bool unzipOk = zip_test::UnzipTest(dir.P("joined.zip"), "");
  EXPECT_EQ(unzipOk, GetParam().damage == TDamage::SizeField);

  // Elsewhere: every other file, no file under the damaged entry's name.
  const std::string target = dir.P("target");
  fsys::create_directories(target);
  const TRestoreOutcome elsewhere = Restore(true, target);
  const std::vector<std::string> errors = Errors();
  const std::string below = target + "/Z" + source;
  size_t restored = 0;
  for (const auto& [file, bytes] : backedUp) {
    if (!fsys::exists(below + "/" + file)) continue;
    ++restored;
    EXPECT_TRUE(ReadFile(below + "/" + file) == bytes) << file;
  }
  EXPECT_TRUE(TemporaryFiles(target).empty());
  std::cout << "| " << GetParam().name << " | unzip -t " << (unzipOk ? "passes" : "fails") << " | "
            << restored << " of " << backedUp.size() << " restored | failed "
            << (whole ? "archive" : std::to_string(errors.size() - 1)) << " | "
            << (errors.empty() ? "" : errors.front()) << " |\n";
  if (whole) {
    EXPECT_EQ(elsewhere, TRestoreOutcome::Failed);
    EXPECT_EQ(restored, 0u);
    ASSERT_EQ(ui->messages.size(), 1u);
    EXPECT_NE(ui->messages[0].find(dir.W("out/job.qvp")), std::string::npos) << ui->messages[0];
    EXPECT_EQ(ui->panels[1], "Restore failed.");
    return;
  }
  EXPECT_EQ(elsewhere, TRestoreOutcome::Incomplete);
  EXPECT_EQ(restored, backedUp.size() - 1);
  EXPECT_FALSE(fsys::exists(below + "/" + victim));
  EXPECT_EQ(ui->messages, std::vector<std::string>{RestoreIncompleteText(1)});
  ASSERT_EQ(errors.size(), 2u);  // the entry, then the run's end
  EXPECT_NE(errors[0].find(Stored(source + "/" + victim)), std::string::npos) << errors[0];
  EXPECT_EQ(errors[1], RestoreIncompleteText(1));

  // Over the original place: every other file back as it was backed up, the damaged entry's
  // file as the user left it.
  for (const auto& [file, bytes] : backedUp) WriteFile(source + "/" + file, "changed " + file);
  EXPECT_EQ(Restore(false, ""), TRestoreOutcome::Incomplete);
  EXPECT_EQ(Errors().size(), 2u);
  for (const auto& [file, bytes] : backedUp)
    EXPECT_TRUE(ReadFile(source + "/" + file) == (file == victim ? "changed " + file : bytes))
        << file;
  EXPECT_TRUE(TemporaryFiles(source).empty());
  EXPECT_EQ(FilesBelow(source).size(), backedUp.size());
}

INSTANTIATE_TEST_SUITE_P(
    Damages, RestoreDamageTest,
    ::testing::Values(
        TDamageCase{"DeflateData", TDamage::DeflateData, TPlace::Middle},
        TDamageCase{"StoredData", TDamage::StoredData, TPlace::Middle},
        TDamageCase{"CrcField", TDamage::CrcField, TPlace::Middle},
        TDamageCase{"SizeField", TDamage::SizeField, TPlace::Middle},
        TDamageCase{"LocalHeader", TDamage::LocalHeader, TPlace::Middle},
        TDamageCase{"LastEntry", TDamage::DeflateData, TPlace::Last},
        TDamageCase{"SplitDeflateData", TDamage::DeflateData, TPlace::MiddleOfSecondVolume},
        TDamageCase{"SplitLocalHeader", TDamage::LocalHeader, TPlace::MiddleOfSecondVolume},
        TDamageCase{"CentralDirectory", TDamage::Directory, TPlace::Middle}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
