// What the archive tests share: a scripted user, a per-test environment, fixture files and
// the outside tools that check an archive.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/archive/zip.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/user_interface.h"
#include "tests/support/temp_dir.h"

namespace zip_test {

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Answers the archive layer's questions from scripts and records what was asked.
class TScriptedUi : public THeadlessUserInterface {
 public:
  std::deque<std::optional<std::string>> passwords;  // exhausted: the prompt is cancelled
  int passwordPrompts = 0;
  std::deque<TOverwriteAnswer> overwrites;  // exhausted: no
  std::vector<std::string> overwriteAsked;
  // Open-file dialog: title, proposed path -> the chosen file; by default cancelled.
  std::function<std::optional<std::string>(const std::string&, const std::string&)> choose;
  std::vector<std::string> chooseTitles;
  std::vector<std::string> chooseFilters;
  std::function<void(int)> onBarPosition;
  std::vector<int> barPositions;
  int barMaximum = 200;

  std::optional<std::string> AskPassword() override {
    ++passwordPrompts;
    if (passwords.empty()) return std::nullopt;
    auto answer = passwords.front();
    passwords.pop_front();
    return answer;
  }
  TOverwriteAnswer ConfirmOverwrite(std::string_view path) override {
    overwriteAsked.emplace_back(path);
    if (overwrites.empty()) return {};
    const TOverwriteAnswer answer = overwrites.front();
    overwrites.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseFile(std::string_view title, std::string_view proposed,
                                        std::string_view filter) override {
    chooseTitles.emplace_back(title);
    chooseFilters.emplace_back(filter);
    if (!choose) return std::nullopt;
    return choose(std::string(title), std::string(proposed));
  }
  int StatusProgressMaximum() override { return barMaximum; }
  void StatusProgressSetPosition(int position) override {
    barPositions.push_back(position);
    if (onBarPosition) onBarPosition(position);
  }
};

// Each test gets its own folder, QUORVA_HOME, memory log and scripted user; nothing is
// cancelled at the start.
class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    ui = std::make_shared<TScriptedUi>();
    SetUserInterface(ui);
    log = std::make_shared<TMemoryLogSink>();
    SetLogSink(log);
    ProgressCancelled = false;
    ZipErrorText = "";
  }
  void TearDown() override {
    ProgressCancelled = false;
    SetUserInterface(nullptr);
    SetLogSink(nullptr);
  }

  // Messages logged as errors ("ERROR   ", level 1).
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const TLogEntry& e : log->Entries())
      if (e.levelText == "ERROR   " && e.level == 1) errors.push_back(e.message);
    return errors;
  }

  TempDir dir;
  std::shared_ptr<TScriptedUi> ui;
  std::shared_ptr<TMemoryLogSink> log;

 private:
  TempDir home_;
};

// Windows form of a POSIX path.
inline std::string Win(const std::string& posix) {
  std::string s = "Z:" + posix;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

// Stored name of a POSIX path ("/tmp/a" -> "Z\tmp\a").
inline std::string Stored(const std::string& posix) {
  std::string s = "Z" + posix;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

// Bytes that deflate cannot shrink (a fixed pseudo-random sequence).
inline std::string NoiseBytes(size_t n, std::uint32_t seed) {
  std::string s(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// Text with enough repetition that each deflate level gives a different size.
inline std::string TextBytes(size_t lines, std::uint32_t seed) {
  std::string s;
  std::uint32_t x = seed + 7;
  static const char* words[] = {"backup", "archive",  "volume", "restore", "project",
                                "folder", "snapshot", "entry",  "deflate", "quorva"};
  for (size_t i = 0; i < lines; ++i) {
    for (int w = 0; w < 8; ++w) {
      x = x * 1103515245u + 12345u;
      s += words[(x >> 16) % 10];
      s += (x >> 8) % 3 ? ' ' : '_';
      s += std::to_string((x >> 20) % 97);
    }
    s += '\n';
  }
  return s;
}

// Names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::string& posix) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(posix))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline bool UnzipTest(const std::string& archive, const std::string& password,
                      std::string* out = nullptr) {
  std::string output;
  const int rc = RunCommand(
      "unzip -t " + (password.empty() ? "" : "-P " + Quote(password) + " ") + Quote(archive),
      &output);
  if (out) *out = output;
  return rc == 0 && output.find("No errors detected") != std::string::npos;
}

inline bool ZipinfoOk(const std::string& archive, std::string* out = nullptr) {
  std::string output;
  const int rc = RunCommand("zipinfo -v " + Quote(archive), &output);
  if (out) *out = output;
  return rc == 0;
}

inline bool SevenZipTest(const std::string& archive, const std::string& password,
                         std::string* out = nullptr) {
  std::string output;
  const int rc = RunCommand("7z t -p" + Quote(password) + " " + Quote(archive), &output);
  if (out) *out = output;
  return rc == 0 && output.find("Everything is Ok") != std::string::npos;
}

// Python's zipfile reads every entry, in order, and compares it with its source file; a name
// that is not ASCII must carry the UTF-8 flag, every non-empty entry must be encrypted when a
// password is given.
inline bool PythonReadsBack(const std::string& archive, const std::string& password,
                            const std::vector<std::pair<std::string, std::string>>& expected,
                            const std::string& workFolder, std::string* out = nullptr) {
  const std::string script = workFolder + "/readback.py";
  const std::string manifest = workFolder + "/manifest.txt";
  WriteFile(script, R"PY(import sys, zipfile
arc, pw, manifest = sys.argv[1], sys.argv[2], sys.argv[3]
pairs = [l.split('\0') for l in open(manifest, encoding='utf-8').read().split('\n') if l]
ok = True
with zipfile.ZipFile(arc) as z:
    infos = z.infolist()
    names = [i.filename for i in infos]
    if names != [p[0] for p in pairs]:
        print('names differ', names); ok = False
    for info, (name, src) in zip(infos, pairs):
        ascii = all(ord(c) < 128 for c in info.filename)
        if bool(info.flag_bits & 0x800) == ascii:
            print('utf-8 flag wrong', name); ok = False
        if pw and info.file_size and not info.flag_bits & 1:
            print('not encrypted', name); ok = False
        with z.open(info, pwd=pw.encode() if pw else None) as f, open(src, 'rb') as g:
            while True:
                a = f.read(1 << 20); b = g.read(1 << 20)
                if a != b:
                    print('data differ', name); ok = False; break
                if not a:
                    break
print('OK' if ok else 'FAIL')
)PY");
  std::string lines;
  for (const auto& [name, source] : expected) lines += name + '\0' + source + '\n';
  WriteFile(manifest, lines);
  std::string output;
  const int rc = RunCommand(std::string(QUORVA_PYTHON) + " " + Quote(script) + " " +
                                Quote(archive) + " " + Quote(password) + " " + Quote(manifest),
                            &output);
  if (out) *out = output;
  return rc == 0 && output.find("OK") != std::string::npos &&
         output.find("FAIL") == std::string::npos;
}

inline void SetFileTime(const std::string& posix, std::int64_t sec) {
  const struct timespec times[2] = {{sec, 0}, {sec, 0}};
  utimensat(AT_FDCWD, posix.c_str(), times, 0);
}

inline std::int64_t FileTime(const std::string& posix) {
  struct stat st {};
  if (stat(posix.c_str(), &st) != 0) return -1;
  return st.st_mtime;
}

}  // namespace zip_test
