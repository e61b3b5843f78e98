#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/project/projects.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"
#include "tests/engine/project/project_fixture.h"

namespace {

TEST(Project, DefaultsAfterCreate) {
  ProjectHome home;
  TempDir temp;
  SetDefaultTempFolder(temp.Win());
  const double before = platform::shell::Now();
  TProject p;
  SetDefaultTempFolder("");
  EXPECT_EQ(p.Name, "untitled-backup");
  EXPECT_EQ(p.DestinationFile, temp.W("untitled-backup.qvp"));
  EXPECT_EQ(p.ProjectFile, temp.W("untitled-backup.bpj"));
  EXPECT_EQ(p.RunCounter, 0);
  EXPECT_EQ(p.DestinationType, 0);
  EXPECT_EQ(p.FtpPort, 21);
  EXPECT_TRUE(p.FtpPassive);
  EXPECT_EQ(p.ProxyPort, 21);
  EXPECT_EQ(p.BackupMode, 1);
  EXPECT_TRUE(p.Compress);
  EXPECT_FALSE(p.Split);
  EXPECT_FALSE(p.UsePassword);
  EXPECT_FALSE(p.SendMail);
  EXPECT_EQ(p.SmtpPort, 25);
  EXPECT_EQ(p.MailAddress, "backup@localhost");
  EXPECT_EQ(p.MailSubject, "Quorva Backup finished with success");
  EXPECT_EQ(p.MailBody,
            "====== Quorva Backup Notification ======\r\nThis message has been sent to you "
            "automatically by Quorva Backup because an operation on the item \"[ProjectName]\" "
            "has started at [RunTime] and finished with status \"[ErrorString]\".");
  EXPECT_GE(p.Created, before);
  EXPECT_LT(p.Created - before, 1.0);
  EXPECT_EQ(p.LastRun, 0.0);
  EXPECT_EQ(p.Reserved, (std::array<std::int32_t, 8>{}));
  EXPECT_EQ(p.Files.Count() + p.Folders.Count() + p.ExcludedPatterns.Count() +
                p.ExcludedFolders.Count() + p.Snapshot.Count(),
            0);

  // Without a settings value the system's temporary folder is used.
  TProject q;
  EXPECT_EQ(q.ProjectFile,
            AddTrailingBackslash(platform::shell::TempFolder()) + "untitled-backup.bpj");
}

TEST(Project, ResetKeepsTheCreationFieldsListsAndSnapshot) {
  ProjectHome home;
  TProject p;
  FillProject(p, false);
  const TProjectDesc filled = Describe(p);
  p.Reset();
  const TProjectDesc reset = Describe(p);
  const TProjectDesc fresh = Describe(TProject());
  for (size_t k = 0; k < reset.scalars.size(); ++k) {
    const std::string& name = reset.scalars[k].first;
    SCOPED_TRACE(name);
    const bool kept =
        name == "RunCounter" || name == "Created" || name == "LastRun" || name == "Reserved";
    EXPECT_EQ(reset.scalars[k].second, kept ? filled.scalars[k].second : fresh.scalars[k].second);
  }
  EXPECT_EQ(reset.lists, filled.lists);
  EXPECT_EQ(reset.snapshotEntries, filled.snapshotEntries);
}

TEST(Project, AssignToCopiesStoredFieldsAndListsOnly) {
  ProjectHome home;
  TProject source;
  FillProject(source, true);
  TProject target;
  target.Files.Add("Z:\\old", 0);
  target.Snapshot.Add(std::make_unique<TRuntimeFile>("Z:\\kept", 1, 1));
  target.ProjectFile = "Z:\\mine.bpj";
  source.AssignTo(target);
  const TProjectDesc a = Describe(source, false), b = Describe(target, false);
  EXPECT_EQ(a.scalars, b.scalars);
  EXPECT_EQ(a.lists, b.lists);  // the included flags too
  ASSERT_EQ(target.Snapshot.Count(), 1);
  EXPECT_EQ(target.Snapshot.Get(0)->Path, "Z:\\kept");
  EXPECT_EQ(target.ProjectFile, "Z:\\mine.bpj");
  EXPECT_EQ(target.ExcludedPatterns.Compare(), TItemCompare::IgnoreCase);
}

TEST(Project, Describe) {
  ProjectHome home;
  TProject p;
  p.Folders.Add("Z:\\a\\", 0);
  p.Folders.Add("Z:\\b\\", 0);
  for (const char* f : {"Z:\\1", "Z:\\2", "Z:\\3"}) p.Files.Add(f, 0);
  EXPECT_EQ(p.DescribeContent(), "Including 2 folders, 3 files");

  p.DestinationFile = "Z:\\backup\\job.qvp";
  p.FtpHost = "ftp.example.org";
  p.WriterPort = 1;
  p.WriterBus = 2;
  p.WriterTargetID = 3;
  p.WriterLUN = 4;
  const struct {
    int type;
    const char* text;
  } cases[] = {{0, "Z:\\backup\\job.qvp"},
               {1, "ftp:\\\\ftp.example.org"},
               {2, "Writer Device:\\\\ Port: 1 BUS: 2 TargetID: 3 LUN: 4"},
               {7, "Writer Device:\\\\ Port: 1 BUS: 2 TargetID: 3 LUN: 4"}};
  for (const auto& c : cases) {
    p.DestinationType = c.type;
    EXPECT_EQ(p.DescribeDestination(), c.text) << c.type;
  }
}

TEST(Projects, NewFindAddExtract) {
  ProjectHome home;
  TProjects list;
  auto alpha = list.New("Ärger");
  EXPECT_EQ(alpha->Name, "Ärger");
  EXPECT_EQ(alpha->FtpPort, 21);
  EXPECT_EQ(list.Count(), 0);  // the caller adds it
  list.Add(std::move(alpha));
  list.Add(nullptr);
  list.Add(list.New("Beta"));
  EXPECT_EQ(list.Count(), 2);

  for (const char* name : {"Ärger", "äRGER", "BETA"}) {
    SCOPED_TRACE(name);
    try {
      (void)list.New(name);
      ADD_FAILURE() << "no error";
    } catch (const EProjectExists& e) {
      EXPECT_STREQ(e.what(), "Project exists");
    }
  }
  EXPECT_EQ(list.FindByName("beta"), list.Get(1));
  EXPECT_EQ(list.FindByName("Gamma"), nullptr);
  EXPECT_EQ(list.Get(2), nullptr);
  EXPECT_EQ(list.Get(-1), nullptr);

  auto taken = list.Extract("ÄRGER");
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->Name, "Ärger");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Extract("Ärger"), nullptr);
}

std::set<std::string> Names(const TProjects& list) {
  std::set<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.insert(list.Get(i)->Name);
  return names;
}

void Save(const TempDir& dir, const std::string& file, const std::string& name) {
  TProject p;
  p.Name = name;
  ASSERT_TRUE(p.SaveToFile(dir.W(file)));
}

TEST(Projects, LoadFromFolderSkipsOnlyTheBadFiles) {
  ProjectHome home;
  TempDir dir;
  for (int i = 0; i < 4; ++i)
    Save(dir, "good" + std::to_string(i) + ".bpj", "Good " + std::to_string(i));
  Save(dir, "alpha.bpj", "Alpha");
  Save(dir, "alpha2.bpj", "ALPHA");
  Save(dir, "empty.bpj", "");
  Save(dir, "empty2.bpj", "");
  Save(dir, "locked.bpj", "Locked");
  Save(dir, "note.txt", "Not a project file");
  ASSERT_EQ(mkfifo(dir.P("fifo.bpj").c_str(), 0600), 0);
  ASSERT_EQ(symlink(dir.P("nowhere").c_str(), dir.P("broken.bpj").c_str()), 0);
  ASSERT_EQ(mkdir(dir.P("folder.bpj").c_str(), 0700), 0);

  auto sink = std::make_shared<TMemoryLogSink>();
  SetLogSink(sink);
  TProjects list;
  {
    platform::fs::File lock(dir.W("locked.bpj"), platform::fs::OpenMode::Read,
                            platform::fs::Share::Exclusive);
    list.LoadFromFolder(dir.Win());
  }
  SetLogSink(nullptr);

  std::set<std::string> names = Names(list);
  // One of the two names that differ only in case is listed, whichever came first.
  EXPECT_EQ(names.count("Alpha") + names.count("ALPHA"), 1u);
  names.erase("Alpha");
  names.erase("ALPHA");
  EXPECT_EQ(names, (std::set<std::string>{"Good 0", "Good 1", "Good 2", "Good 3"}));
  for (int i = 0; i < list.Count(); ++i)
    EXPECT_EQ(list.Get(i)->ProjectFile,
              dir.W(platform::fs::FileNamePart(list.Get(i)->ProjectFile)));

  // locked, two empty names, the duplicate, the FIFO, the broken link and the folder.
  const auto entries = sink->Entries();
  EXPECT_EQ(entries.size(), 7u);
  for (const auto& e : entries) {
    EXPECT_EQ(e.levelText, "ERROR   ");
    EXPECT_NE(e.message.find(dir.Win()), std::string::npos) << e.message;
  }

  // Once the lock is gone the file loads.
  TProjects again;
  again.LoadFromFolder(dir.Win());
  EXPECT_EQ(Names(again).count("Locked"), 1u);
}

TEST(Projects, MissingFolderLoadsNothingQuietly) {
  ProjectHome home;
  TempDir dir;
  auto sink = std::make_shared<TMemoryLogSink>();
  SetLogSink(sink);
  TProjects list;
  list.LoadFromFolder(dir.W("QVP_JOBS\\"));
  SetLogSink(nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(sink->Entries().empty());
}

}  // namespace
