// A full backup split into volumes over an earlier split archive, stopped at every step that
// touches the archive's folder or the temporary folder: killed (SIGKILL) after the step, or
// the step failing. Afterwards, once what the next run does first has run, the earlier or the
// new archive is whole under its own names (unzip -t of its volumes joined), nothing
// temporary is left, and the next run ends 0 with the new archive.
//
// The steps are the file-system calls themselves: this program's own rename, unlink and fsync
// stand in front of the C library's and count the calls on the watched folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/engine/backup/command_line_backup.h"
#include "app/engine/backup/run_record.h"
#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "tests/engine/archive/zip_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;

enum class TTrap { None, KillAfter, Fail, Trace };

// The calls' watch: the folders set before the child is forked, the trap in the child before
// its run.
std::atomic<TTrap> g_trap{TTrap::None};
std::atomic<int> g_step{0};  // the trapped call (from 1)
std::atomic<int> g_calls{0};
// POSIX folders, in storage without a destructor: the calls come until the process ends.
char g_watched[2][PATH_MAX] = {};
FILE* g_trace = nullptr;

bool Watched(const std::string& path) {
  for (const char* w : g_watched)
    if (*w && path.compare(0, std::strlen(w), w) == 0) return true;
  return false;
}

std::string PathOfDescriptor(int fd) {
  char link[64], target[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// Before a watched call: true when it is to fail.
bool FailsNow(const char* op, const std::string& path, const std::string& to = {}) {
  if (g_trap == TTrap::None) return false;
  const int call = ++g_calls;
  if (g_trap == TTrap::Trace && g_trace)
    std::fprintf(g_trace, "%s\t%s\t%s\n", op, path.c_str(), to.c_str());
  return g_trap == TTrap::Fail && call == g_step;
}
void AfterCall() {
  if (g_trap == TTrap::KillAfter && g_calls == g_step) kill(getpid(), SIGKILL);
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  const bool watched = Watched(from) || Watched(to);
  if (watched && FailsNow("rename", from, to)) {
    errno = EIO;
    return -1;
  }
  const int r = renameat(AT_FDCWD, from, AT_FDCWD, to);
  if (watched) AfterCall();
  return r;
}

extern "C" int unlink(const char* path) {
  const bool watched = Watched(path);
  if (watched && FailsNow("unlink", path)) {
    errno = EIO;
    return -1;
  }
  const int r = unlinkat(AT_FDCWD, path, 0);
  if (watched) AfterCall();
  return r;
}

extern "C" int fsync(int fd) {
  const std::string path = PathOfDescriptor(fd);
  const bool watched = Watched(path);
  if (watched && FailsNow("fsync", path)) {
    errno = EIO;
    return -1;
  }
  const int r = static_cast<int>(syscall(SYS_fsync, fd));
  if (watched) AfterCall();
  return r;
}

namespace {

using zip_test::NoiseBytes;
using zip_test::Quote;

class BackupCommitCrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
    setenv("TMPDIR", dir_.P("tmp").c_str(), 1);
    fsys::create_directories(dir_.P("tmp"));
    fsys::create_directories(dir_.P("out"));
    fsys::create_directories(dir_.P("jobs"));
    SetLogSink(std::make_shared<TMemoryLogSink>());
    std::snprintf(g_watched[0], PATH_MAX, "%s", dir_.P("out").c_str());
    std::snprintf(g_watched[1], PATH_MAX, "%s", dir_.P("tmp").c_str());

    TProject project;
    project.Name = "job";
    project.BackupMode = 0;  // every run a full one, over the same archive
    project.Compress = false;
    project.Split = true;
    project.SplitSizeIndex = 0;  // volumes of 1,468,006 bytes
    project.DestinationFile = dir_.W("out\\job.qvp");
    project.Folders.Add(dir_.W("src\\"), 0);
    ASSERT_TRUE(project.SaveToFile(dir_.W("jobs\\job.bpj")));
    WriteFile(dir_.P("src/data.bin"), NoiseBytes(3'200'000, 1));  // three slices
    ASSERT_EQ(Run(TTrap::None), 0);
    ASSERT_EQ(ArchiveFiles(), (std::vector<std::string>{"job.001", "job.002", "job.qvp"}));
    ASSERT_TRUE(Whole(&earlier_));
    fsys::create_directories(dir_.P("earlier"));
    fsys::copy(dir_.P("out"), dir_.P("earlier/out"), fsys::copy_options::recursive);
    fsys::copy(dir_.P("jobs"), dir_.P("earlier/jobs"), fsys::copy_options::recursive);
    // The new archive has two slices.
    WriteFile(dir_.P("src/data.bin"), NoiseBytes(2'000'000, 2));
  }
  void TearDown() override {
    g_trap = TTrap::None;
    g_watched[0][0] = g_watched[1][0] = '\0';
    SetLogSink(nullptr);
    unsetenv("TMPDIR");
  }

  // The command-line backup in a child; its exit code, -SIGKILL when it was killed.
  int Run(TTrap trap, int step = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (trap == TTrap::Trace) g_trace = std::fopen(dir_.P("trace").c_str(), "w");
      g_calls = 0;
      g_step = step;
      g_trap = trap;
      const int code = RunCommandLineBackup(dir_.P("jobs/job.bpj"));
      g_trap = TTrap::None;
      if (g_trace) std::fclose(g_trace);
      _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
  }

  std::vector<std::string> ArchiveFiles() const { return zip_test::FolderNames(dir_.P("out")); }

  // The archive's slices in order, joined, pass unzip -t; `bytes` gets them.
  bool Whole(std::string* bytes) const {
    std::string all;
    all += ReadFile(dir_.P("out/job.qvp"));
    for (int n = 1; fsys::exists(dir_.P("out/job.00" + std::to_string(n))); ++n)
      all += ReadFile(dir_.P("out/job.00" + std::to_string(n)));
    WriteFile(dir_.P("joined.zip"), all);
    const bool ok = zip_test::UnzipTest(dir_.P("joined.zip"), "");
    fsys::remove(dir_.P("joined.zip"));
    if (bytes) *bytes = all;
    return ok;
  }

  // Back to the earlier archive and project, nothing else in the folders.
  void Reset() {
    for (const char* folder : {"out", "jobs", "tmp"}) fsys::remove_all(dir_.P(folder));
    fsys::copy(dir_.P("earlier/out"), dir_.P("out"), fsys::copy_options::recursive);
    fsys::copy(dir_.P("earlier/jobs"), dir_.P("jobs"), fsys::copy_options::recursive);
    fsys::create_directories(dir_.P("tmp"));
  }

  // The archive holds the new data (Python's zipfile reads it back).
  bool HoldsTheNewData() const {
    std::string all;
    Whole(&all);
    WriteFile(dir_.P("joined.zip"), all);
    const int rc = RunCommand(std::string(QUORVA_PYTHON) +
                              " -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                              "[sys.stdout.buffer.write(z.read(n)) for n in z.namelist() "
                              "if n.endswith(\"data.bin\")]' " +
                              Quote(dir_.P("joined.zip")) + " > " + Quote(dir_.P("data.bin")));
    const bool same = rc == 0 && ReadFile(dir_.P("data.bin")) == NoiseBytes(2'000'000, 2);
    fsys::remove(dir_.P("joined.zip"));
    fsys::remove(dir_.P("data.bin"));
    return same;
  }

  void ExpectNothingTemporary(const std::string& when) const {
    EXPECT_TRUE(zip_test::FolderNames(dir_.P("tmp")).empty()) << when;
    EXPECT_EQ(zip_test::FolderNames(dir_.P("jobs")),
              (std::vector<std::string>{"job.bpj", "job.bpj.lock"}))
        << when;
    const auto out = ArchiveFiles();
    EXPECT_TRUE(out == (std::vector<std::string>{"job.001", "job.002", "job.qvp"}) ||
                out == (std::vector<std::string>{"job.001", "job.qvp"}))
        << when << ": " << ::testing::PrintToString(out);
  }

  TempDir dir_;
  std::string earlier_;
};

std::vector<std::vector<std::string>> TraceLines(const std::string& path) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    lines.push_back(fields);
  }
  return lines;
}

TEST_F(BackupCommitCrashTest, EveryStepKilledOrFailedLeavesAWholeArchive) {
  // A run to the end, its calls traced: every slice is on the disk before it is renamed.
  Reset();
  ASSERT_EQ(Run(TTrap::Trace), 0);
  ASSERT_TRUE(HoldsTheNewData());
  const auto trace = TraceLines(dir_.P("trace"));
  const int steps = static_cast<int>(trace.size());
  ASSERT_GT(steps, 10);
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i][0] != "rename" || trace[i][1].find("/QVZ") == std::string::npos) continue;
    bool flushed = false;
    for (size_t j = 0; j < i; ++j) flushed |= trace[j][0] == "fsync" && trace[j][1] == trace[i][1];
    EXPECT_TRUE(flushed) << trace[i][1];
  }

  for (const TTrap trap : {TTrap::KillAfter, TTrap::Fail}) {
    for (int step = 1; step <= steps; ++step) {
      const std::string when = std::string(trap == TTrap::Fail ? "failed" : "killed after") +
                               " step " + std::to_string(step) + " (" + trace[step - 1][0] + " " +
                               fsys::path(trace[step - 1][1]).filename().string() + ")";
      Reset();
      const int code = Run(trap, step);
      if (trap == TTrap::KillAfter)
        EXPECT_EQ(code, -SIGKILL) << when;
      else
        EXPECT_TRUE(code == 0 || code == 1) << when << ": " << code;

      // What the next run does first: an archive replacement finished, the leftovers removed.
      auto log = std::make_shared<TMemoryLogSink>();
      SetLogSink(log);
      { TRunRecord next(dir_.W("jobs\\job.bpj")); }
      std::string said;
      for (const TLogEntry& e : log->Entries()) said += "\n  " + e.message;
      std::string bytes;
      EXPECT_TRUE(Whole(&bytes)) << when << said;
      EXPECT_TRUE(bytes == earlier_ || HoldsTheNewData()) << when << said;
      ExpectNothingTemporary(when);
      if (step == steps / 2) std::printf("%s:%s\n", when.c_str(), said.c_str());

      // The next run.
      EXPECT_EQ(Run(TTrap::None), 0) << when;
      EXPECT_TRUE(HoldsTheNewData()) << when;
      EXPECT_EQ(ArchiveFiles(), (std::vector<std::string>{"job.001", "job.qvp"})) << when;
      ExpectNothingTemporary(when);
    }
  }
}

}  // namespace
