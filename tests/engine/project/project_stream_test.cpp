#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <regex>

#include "app/engine/log.h"
#include "app/engine/project/projects.h"
#include "tests/engine/project/project_fixture.h"
#include "tests/support/allocation_tracker.h"

namespace {

std::string Codec(const std::string& args) {
  return std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR "/engine/bpj_codec.py " + args;
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

std::map<std::string, long long> Offsets(const std::string& bpjPosix) {
  std::string out;
  EXPECT_EQ(RunCommand(Codec("offsets '" + bpjPosix + "'"), &out), 0) << out;
  std::map<std::string, long long> offsets;
  const std::regex entry("\"([^\"]+)\": (\\d+)");
  for (std::sregex_iterator it(out.begin(), out.end(), entry), end; it != end; ++it)
    offsets[(*it)[1]] = std::stoll((*it)[2]);
  return offsets;
}

// A project as the folder loader starts it: defaults and no name.
std::unique_ptr<TProject> Blank() {
  auto p = std::make_unique<TProject>();
  p->Name.clear();
  return p;
}

class IndependentEncoder : public ::testing::TestWithParam<bool> {
 protected:
  ProjectHome home_;
  TempDir dir_;
};

TEST_P(IndependentEncoder, SameBytesBothWaysAndLoadsBack) {
  TProject p;
  FillProject(p, GetParam());
  ASSERT_TRUE(p.SaveToFile(dir_.W("cpp.bpj")));
  WriteFile(dir_.P("desc.json"), Describe(p, false).Json());
  std::string out;
  ASSERT_EQ(
      RunCommand(Codec("encode '" + dir_.P("desc.json") + "' '" + dir_.P("py.bpj") + "'"), &out), 0)
      << out;
  EXPECT_EQ(ReadFile(dir_.P("cpp.bpj")), ReadFile(dir_.P("py.bpj")));
  EXPECT_EQ(
      RunCommand(Codec("check '" + dir_.P("cpp.bpj") + "' '" + dir_.P("desc.json") + "'"), &out), 0)
      << out;

  platform::fs::File file(dir_.W("py.bpj"), platform::fs::OpenMode::Read);
  TFileStream stream(file);
  TProject q;
  const std::string defaultFile = q.ProjectFile;
  ASSERT_TRUE(q.LoadFromStream(stream));
  EXPECT_EQ(Describe(q).Json(), Describe(p).Json());
  EXPECT_EQ(q.ProjectFile, defaultFile);
}

INSTANTIATE_TEST_SUITE_P(Booleans, IndependentEncoder, ::testing::Bool());

TEST(ProjectStream, ProjectFileComesFromTheFileLocation) {
  ProjectHome home;
  TempDir dir;
  TProject p;
  FillProject(p, false);
  p.ProjectFile = "Z:\\elsewhere\\x.bpj";
  ASSERT_TRUE(p.SaveToFile(dir.W("Stored.bpj")));
  TProjects list;
  list.LoadFromFolder(dir.Win());
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0)->ProjectFile, dir.W("Stored.bpj"));
  EXPECT_EQ(Describe(*list.Get(0)).Json(), Describe(p).Json());
}

// What a load of the first `cut` bytes must give, worked out from the field offsets the
// independent decoder reports.
struct TExpectedLoad {
  bool result = false;
  bool createdRead = false;
  TProjectDesc desc;
};

TExpectedLoad ExpectedPrefixLoad(const TProject& full, const std::map<std::string, long long>& at,
                                 long long cut) {
  const TProjectDesc all = Describe(full);
  TExpectedLoad e;
  e.desc = Describe(*Blank());
  auto start = [&](const std::string& key) { return at.at(key); };
  const auto& sc = all.scalars;
  for (size_t k = 0; k < sc.size(); ++k) {
    const long long end = k + 1 < sc.size() ? start(sc[k + 1].first) : start("Files");
    if (end > cut) return e;
    e.desc.scalars[k] = sc[k];
    if (sc[k].first == "Created") e.createdRead = true;
  }
  // A stream may end before a list (an older file); one that ends inside a list is damaged.
  e.result = true;
  const char* sections[] = {"Files", "Folders", "ExcludedPatterns", "ExcludedFolders", "Snapshot"};
  for (size_t l = 0; l < 4; ++l) {
    const auto& items = all.lists[l].second;
    if (start(sections[l]) == cut) return e;
    e.result = false;
    if (start(sections[l]) + 4 > cut) return e;
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string next = i + 1 < items.size()
                                   ? std::string(sections[l]) + "[" + std::to_string(i + 1) + "]"
                                   : sections[l + 1];
      if (start(next) > cut) return e;
      e.desc.lists[l].second.push_back(items[i]);
    }
    e.result = true;
  }
  if (start("Snapshot") == cut) return e;
  e.result = false;
  if (start("Snapshot") + 4 > cut) return e;
  e.desc.snapshotReserved = all.snapshotReserved;
  if (start("Snapshot") + 8 > cut) return e;
  for (size_t i = 0; i < all.snapshotEntries.size(); ++i) {
    const std::string next =
        i + 1 < all.snapshotEntries.size() ? "Snapshot[" + std::to_string(i + 1) + "]" : "End";
    if (start(next) > cut) return e;
    e.desc.snapshotEntries.push_back(all.snapshotEntries[i]);
  }
  e.result = true;
  return e;
}

void ExpectLoaded(const TProject& got, const TExpectedLoad& want, double originalCreated) {
  // A Created not read is the loading project's own creation time.
  TProjectDesc desc = Describe(got);
  TProjectDesc expected = want.desc;
  if (!want.createdRead) {
    EXPECT_NE(got.Created, originalCreated);
    desc.scalars[49].second = expected.scalars[49].second = "created";
  }
  EXPECT_EQ(desc.Json(), expected.Json());
}

// A cut file keeps the fields read before the cut; it is damaged, and not listed, unless it ends
// right before a list.
TEST(ProjectStream, TruncatedFileIsDamagedUnlessItEndsBeforeAList) {
  ProjectHome home;
  TempDir dir;
  TProject p;
  FillProject(p, false);
  ASSERT_TRUE(p.SaveToFile(dir.W("full.bpj")));
  ASSERT_EQ(Describe(p).scalars[49].first, "Created");
  const std::string bytes = ReadFile(dir.P("full.bpj"));
  const auto at = Offsets(dir.P("full.bpj"));
  ASSERT_EQ(at.at("End"), static_cast<long long>(bytes.size()));

  const struct {
    const char* key;
    long long delta;
  } cuts[] = {{"Name", 0},
              {"Name", 2},
              {"Name", 6},
              {"RunCounter", 0},
              {"DestinationType", 0},
              {"DestinationFile", 3},
              {"EraseDisc", 0},
              {"FtpHost", 5},
              {"MailBody", 10},
              {"Created", 3},
              {"LastRun", 0},
              {"Reserved", 12},
              {"Files", 0},
              {"Files", 2},
              {"Files[1]", 5},
              {"Folders", 0},
              {"Folders[0]", 0},
              {"ExcludedPatterns", 0},
              {"ExcludedFolders", 0},
              {"ExcludedFolders", 4},
              {"Snapshot", 0},
              {"Snapshot", 2},
              {"Snapshot", 6},
              {"Snapshot[1]", 1},
              {"Snapshot[2]", 11},
              {"End", -1},
              {"End", 0}};
  for (const auto& c : cuts) {
    const long long cut = at.at(c.key) + c.delta;
    SCOPED_TRACE(std::string(c.key) + " + " + std::to_string(c.delta) + " = " +
                 std::to_string(cut));
    const TExpectedLoad want = ExpectedPrefixLoad(p, at, cut);
    const std::string prefix = bytes.substr(0, static_cast<size_t>(cut));

    TMemoryStream stream(Bytes(prefix));
    auto got = Blank();
    EXPECT_EQ(got->LoadFromStream(stream), want.result);
    ExpectLoaded(*got, want, p.Created);

    TempDir folder;
    WriteFile(folder.P("cut.bpj"), prefix);
    auto sink = std::make_shared<TMemoryLogSink>();
    SetLogSink(sink);
    TProjects list;
    const std::vector<std::string> damaged = list.LoadFromFolder(folder.Win());
    SetLogSink(nullptr);
    // A damaged file is never listed, so nothing saves over it.
    EXPECT_EQ(damaged, want.result ? std::vector<std::string>{}
                                   : std::vector<std::string>{folder.W("cut.bpj")});
    if (!want.result || want.desc.scalars[0].second == "\"\"") {
      EXPECT_EQ(list.Count(), 0);
      ASSERT_EQ(sink->Entries().size(), 1u);
      EXPECT_EQ(sink->Entries()[0].levelText, "ERROR   ");
      EXPECT_NE(sink->Entries()[0].message.find(folder.W("cut.bpj")), std::string::npos);
    } else {
      ASSERT_EQ(list.Count(), 1);
      ExpectLoaded(*list.Get(0), want, p.Created);
      EXPECT_EQ(list.Get(0)->ProjectFile, folder.W("cut.bpj"));
    }
  }

  // A few of the expectations spelled out.
  auto load = [&](long long cut) {
    TMemoryStream stream(Bytes(bytes.substr(0, static_cast<size_t>(cut))));
    auto got = Blank();
    got->LoadFromStream(stream);
    return got;
  };
  auto reads = [&](long long cut) {
    TMemoryStream stream(Bytes(bytes.substr(0, static_cast<size_t>(cut))));
    return Blank()->LoadFromStream(stream);
  };
  EXPECT_TRUE(reads(at.at("Files")));
  EXPECT_TRUE(reads(at.at("Folders")));
  EXPECT_FALSE(reads(at.at("Folders") + 4));
  EXPECT_FALSE(reads(at.at("Folders[1]") + 1));
  EXPECT_TRUE(reads(at.at("Snapshot")));
  EXPECT_FALSE(reads(at.at("End") - 1));
  EXPECT_EQ(load(at.at("DestinationType"))->RunCounter, 7);
  EXPECT_EQ(load(at.at("DestinationType"))->DestinationType, 0);
  EXPECT_EQ(load(at.at("Files[1]") + 5)->Files.Count(), 1);
  EXPECT_EQ(load(at.at("Files[1]") + 5)->Folders.Count(), 0);
  EXPECT_EQ(load(at.at("Snapshot[2]") + 11)->Snapshot.Count(), 2);
  EXPECT_EQ(load(at.at("Snapshot[2]") + 11)->ExcludedFolders.Count(), 1);
}

TEST(ProjectStream, HostileCountsCostNoLargeAllocation) {
  ProjectHome home;
  TempDir dir;
  TProject p;
  FillProject(p, false);
  ASSERT_TRUE(p.SaveToFile(dir.W("full.bpj")));
  const std::string bytes = ReadFile(dir.P("full.bpj"));
  const auto at = Offsets(dir.P("full.bpj"));
  const TProjectDesc full = Describe(p);

  // `whole`: the load ends where the hostile count stands, as a cut there would end it. A
  // list that does not read makes the project damaged as a field that does not read does.
  const struct {
    const char* key;
    long long delta;
    std::int32_t count;
    bool result;
    bool whole;
  } cases[] = {
      {"Name", 0, 0x7fffffff, false, true},       {"FtpHost", 0, 0x7fffffff, false, true},
      {"MailBody", 0, -1, false, true},           {"Files", 0, -1, false, true},
      {"Folders[0]", 0, 0x7fffffff, false, true}, {"Snapshot[1]", 0, 0x7fffffff, false, true},
      {"Files", 0, 0x7fffffff, false, false},     {"Snapshot", 4, 0x7fffffff, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " := " + std::to_string(c.count));
    std::string hostile = bytes;
    const long long pos = at.at(c.key) + c.delta;
    std::memcpy(hostile.data() + pos, &c.count, 4);

    TMemoryStream stream(Bytes(hostile));
    auto got = Blank();
    ResetLargestAllocation();
    EXPECT_EQ(got->LoadFromStream(stream), c.result);
    EXPECT_LT(LargestAllocation(), std::size_t{1} << 16);
    if (c.whole) {
      ExpectLoaded(*got, ExpectedPrefixLoad(p, at, pos), p.Created);
      continue;
    }
    const TProjectDesc desc = Describe(*got);
    EXPECT_EQ(desc.scalars, full.scalars);
    if (std::string(c.key) == "Files") {
      // The real items come first; what follows them is read as more items until the
      // bytes run out.
      ASSERT_GE(got->Files.Count(), p.Files.Count() - 1);
      EXPECT_EQ(got->Files.Get(0)->Name, p.Files.Get(0)->Name);
    } else {
      // The snapshot is last: its real entries are read, then the bytes run out.
      EXPECT_EQ(desc.lists, full.lists);
      EXPECT_EQ(desc.snapshotEntries, full.snapshotEntries);
    }
  }
}

TEST(ProjectStream, ListCountWithoutItemsIsRefused) {
  for (const std::int32_t count : {0x7fffffff, -1, 3}) {
    SCOPED_TRACE(count);
    TMemoryStream out;
    WriteStreamInt(out, count);
    WriteStreamString(out, "Z:\\only");
    WriteStreamInt(out, 0);
    TMemoryStream in(out.Bytes());
    TItems items;
    ResetLargestAllocation();
    EXPECT_FALSE(items.LoadFromStream(in));
    EXPECT_LT(LargestAllocation(), std::size_t{1} << 16);
    EXPECT_EQ(items.Count(), count > 0 ? 1 : 0);
  }
}

TEST(ProjectStream, FailedSaveKeepsThePreviousFile) {
  ProjectHome home;
  TempDir dir;
  TProject small;
  small.Name = "small";
  ASSERT_TRUE(small.SaveToFile(dir.W("job.bpj")));
  const std::string before = ReadFile(dir.P("job.bpj"));

  TProject big;
  big.MailBody.assign(64 * 1024, 'x');
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool saved = big.SaveToFile(dir.W("job.bpj"));
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);

  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(dir.P("job.bpj")), before);
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Posix())) {
    ++entries;
    EXPECT_EQ(e.path().filename(), "job.bpj");
  }
  EXPECT_EQ(entries, 1u);

  EXPECT_FALSE(small.SaveToFile(dir.W("missing\\job.bpj")));
  EXPECT_FALSE(small.SaveToFile("C:\\job.bpj"));
}

}  // namespace
