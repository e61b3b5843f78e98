// Writes the seeds of the program's fuzz targets, made by the program's own code: saved
// projects, settings and schedule records, archives, a registry database, and the FTP texts
// its client reads. Also the inputs that once broke a reader (regress-*). Usage:
// engine_seeds <folder>; each target's seeds go to <folder>/<target>/.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "app/engine/archive/zip_commit_record.h"
#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "app/engine/record_lines.h"
#include "app/engine/schedule/schedule.h"
#include "app/engine/schedule/schedule_record.h"
#include "app/engine/settings/global_setting.h"
#include "fuzz/engine_log.h"
#include "fuzz/fuzz_support.h"
#include "platform/registry/registry.h"
#include "platform/sorvane/helper/scrambling.h"

namespace fsys = std::filesystem;
using platform::registry::Hive;
using platform::registry::Key;

namespace {

std::string g_out;

void Seed(const std::string& target, const std::string& name, const void* data, size_t size) {
  fsys::create_directories(g_out + "/" + target);
  fuzzing::WriteFile(g_out + "/" + target + "/" + name, data, size);
}
void Seed(const std::string& target, const std::string& name, const std::vector<uint8_t>& b) {
  Seed(target, name, b.data(), b.size());
}
void Seed(const std::string& target, const std::string& name, const std::string& text) {
  Seed(target, name, text.data(), text.size());
}

std::vector<uint8_t> Stream(const TProject& p) {
  TMemoryStream s;
  p.SaveToStream(s);
  return s.Bytes();
}

void Projects(const std::string& scratch) {
  TProject plain;
  Seed("project_stream", "default", Stream(plain));
  TProject full;
  full.Name = "Büro-Sicherung";
  full.DestinationType = 1;
  full.DestinationFile = "Z:\\home\\ann\\backup.qvp";
  full.FtpHost = "ftp.example.org";
  full.FtpUser = "ann";
  full.FtpPassword = "secret";
  full.UseProxy = true;
  full.ProxyType = 3;
  full.Split = true;
  full.SplitSizeIndex = 2;
  full.UsePassword = true;
  full.Password = "pw";
  full.RunBefore = true;
  full.RunBeforeCmd = "echo [ProjectName]";
  full.SendMail = true;
  full.MailBody = "Run at [RunTime]\r\n[ErrorString]";
  full.Files.Add("Z:\\home\\ann\\notes.txt", 0);
  full.Folders.Add("Z:\\home\\ann\\Documents\\", 1);
  full.ExcludedPatterns.Add("*.tmp", 0);
  full.ExcludedFolders.Add("Z:\\home\\ann\\Documents\\cache\\", 1);
  for (int i = 0; i < 3; ++i)
    full.Snapshot.Add(std::make_unique<TRuntimeFile>(
        "Z:\\home\\ann\\Documents\\f" + std::to_string(i) + ".txt", 1000 + i, i + 1));
  Seed("project_stream", "full", Stream(full));
  (void)scratch;
}

void Settings() {
  TGlobalSetting g;
  g.SaveOnDestroy = false;
  Seed("settings_record", "default", g.Record());
  auto account = std::make_unique<TEmailAccount>();
  account->Caption = "Büro";
  account->SMTPServer = "smtp.example.org";
  account->Port = 587;
  account->Authenticate = true;
  account->UserName = "ann";
  account->Password = "secret";
  account->To = "ann@example.org; bob@example.org";
  g.Accounts.push_back(std::move(account));
  g.Accounts.push_back(std::make_unique<TEmailAccount>());
  Seed("settings_record", "accounts", g.Record());
  // A damaged record once made the program sleep for 4,000 years before its first window.
  g.StartDelayMinutes = std::numeric_limits<std::int32_t>::max();
  g.PriorityIndex = 99;
  g.NetworkTimeoutSec = -1;
  Seed("settings_record", "regress-start-delay", g.Record());
}

void Schedules() {
  struct Row {
    const char* name;
    std::int32_t kind;
    const char* project;
    const char* password;
    const char* account;
  };
  const Row rows[] = {
      {"startup", kScheduleAtStartup, "Z:\\home\\ann\\QVP_JOBS\\job.bpj", "", ""},
      {"every", kScheduleEvery, "Z:\\home\\ann\\QVP_JOBS\\Büro.bpj", "pw", "ann@pc"},
      {"at", kScheduleAt, "Z:\\x.bpj", "", "ann"}};
  for (const auto& r : rows) {
    TSchedule s("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
    s.Kind = r.kind;
    s.Project = r.project;
    TScheduleTexts t;
    t.A = sorvane::Scramble("MORL_VEQ", r.project);
    if (*r.password) t.B = sorvane::Scramble(s.ID, sorvane::Scramble(r.project, r.password));
    if (*r.account) t.C = sorvane::Scramble(s.ID, sorvane::Scramble(r.project, r.account));
    Seed("schedule_record", r.name, WriteScheduleRecord(s, t));
  }
}

void Archives(const std::string& scratch) {
  const std::string src = scratch + "/src";
  fsys::create_directories(src + "/sub");
  const std::string files[] = {src + "/a.txt", src + "/sub/b.bin", src + "/empty"};
  fuzzing::WriteFile(files[0], "some text, some text, some text\n", 32);
  const std::vector<char> bin(3000, '\x7F');
  fuzzing::WriteFile(files[1], bin.data(), bin.size());
  fuzzing::WriteFile(files[2], "", 0);
  TProject p;
  p.Name = "seed";
  const std::string definition = scratch + "/definition";
  {
    TMemoryStream s;
    p.SaveToStream(s);
    fuzzing::WriteFile(definition, s.Bytes().data(), s.Bytes().size());
  }
  struct Row {
    const char* name;
    bool compress;
    bool password;
  };
  for (const Row& r :
       {Row{"deflate", true, false}, Row{"stored", false, false}, Row{"password", true, true}}) {
    const std::string archive = scratch + "/" + r.name + ".qvp";
    TZip zip;
    zip.CreateForWrite(fuzzing::Win(archive));
    zip.SetCompression(r.compress, 0);
    zip.SetPassword(r.password, "pw");
    zip.AddDefinition(fuzzing::Win(definition));
    for (const auto& f : files) zip.AddFile(fuzzing::Win(f));
    zip.Execute();
    std::ifstream in(archive, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Seed("zip_restore", r.name, bytes);
    Seed("zip_restore", std::string("split-") + r.name, "S" + bytes);  // two volumes
    Seed("zip_directory", r.name, bytes);
  }
  // An archive of no entries: a directory of no bytes.
  Seed("zip_directory", "regress-empty-directory", std::string("PK\5\6") + std::string(18, '\0'));
}

void LeftoverRecords() {
  platform::fs::FileIdentity id;
  id.device = 2049;
  id.inode = 131;
  id.birthNsec = 1797000512519574637;
  TCommitPlan plan;
  plan.fresh = {{"Z:\\bk\\job.qvp", "Z:\\bk\\QVZ1A2B.tmp", id},
                {"Z:\\bk\\job.001", "Z:\\bk\\QVZ1A2C.tmp", id}};
  plan.earlier = {{"Z:\\bk\\job.qvp", "Z:\\bk\\QVO1A2D.tmp", id}};
  Seed("leftover_records", "commit", EncodeCommitRecord(plan));
  Seed("leftover_records", "run",
       RecordLine({"file", "Z:\\tmp\\QVD1A2A.tmp", "2049", "120", "1797000512519574637"}) +
           RecordLine({"file", "Z:\\bk\\QVZ1A2B.tmp", "2049", "131", ""}) +
           RecordLine({"commit", "Z:\\bk\\job.qvp.commit"}));
}

void UserDirsTexts() {
  Seed("user_dirs", "desktop",
       std::string("# This file is written by xdg-user-dirs-update\n"
                   "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                   "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                   "XDG_TEMPLATES_DIR=\"$HOME\"\n"
                   "XDG_DOCUMENTS_DIR=\"/srv/documents/\"\n"
                   "XDG_MUSIC_DIR=\"$HOME/Mu\\\"sic \\\\ x\"\n"));
  Seed("user_dirs", "broken",
       std::string("XDG_=\"\nXDG_A_DIR=\"$HOME\nXDG_B_DIR = \"relative\"\n"));
}

void FtpTexts() {
  Seed("ftp_listing", "unix",
       std::string("drwxr-xr-x   2 ann  users     4096 Dec 10 12:00 Documents\n"
                   "-rw-r--r--   1 ann  users  1234567 Jan  1  2025 job.qvp\n"
                   "lrwxrwxrwx   1 ann  users        7 Dec 10 12:00 link -> target\n"));
  Seed("ftp_listing", "dos",
       std::string("12-10-26  12:00PM       <DIR>          Backups\n"
                   "12-10-26  12:01PM             1234567 job.qvp\n"));
  Seed("ftp_reply", "session",
       std::string("220 Welcome\r\n331 Password required\r\n230 Logged in\r\n"
                   "250 Directory changed\r\n200 Type set to I\r\n"
                   "227 Entering Passive Mode (127,0,0,1,4,1)\r\n"
                   "150 Opening data connection\r\n226 Transfer complete\r\n221 Bye\r\n"));
  Seed("ftp_reply", "multiline",
       std::string("220-Welcome\r\n220-to the server\r\n220 ready\r\n230 Logged in\r\n"
                   "550 No such folder\r\n"));
  // A bare "227" to PASV once threw out of the client and ended the program.
  Seed("ftp_reply", "regress-bare-227",
       std::string("220 Welcome\r\n230 Logged in\r\n250 ok\r\n200 ok\r\n227\r\n"));
  Seed("ftp_reply", "epsv",
       std::string("220 ready\r\n230 ok\r\n250 ok\r\n200 ok\r\n"
                   "229 Entering Extended Passive Mode (|||1025|)\r\n150 go\r\n226 done\r\n"));
}

// Copies the database once the layer has closed it (a new path makes it let go).
std::vector<uint8_t> DatabaseBytes(const std::string& home) {
  setenv("QUORVA_HOME", (home + "-closed").c_str(), 1);
  Key::Open(Hive::CurrentUser, "\\Software", true);
  std::ifstream in(home + "/registry.sqlite", std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

void Registry(const std::string& scratch) {
  const std::string home = scratch + "/registry";
  fsys::create_directories(home);
  setenv("QUORVA_HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
  {
    TGlobalSetting g;  // writes its record when it goes
  }
  {  // the keys let go of the database before it is copied
    auto key = Key::Open(Hive::CurrentUser,
                         "\\Software\\Classes\\CLSID\\{E0BE056B-9308-4f1a-B7AD-"
                         "3FF20C595DFE}\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}",
                         true);
    if (key) key->WriteBinary("userdata", "\x01\x02\x03", 3);
    if (auto run = Key::Open(Hive::CurrentUser,
                             "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", true))
      run->WriteString("Z:\\home\\ann\\job.bpj",
                       "\"Z:\\usr\\bin\\QuorvaBackup\" Z:\\home\\ann\\job.bpj");
    if (auto m = Key::Open(Hive::LocalMachine, "\\SOFTWARE\\Veltrane\\Tidewell", true)) {
      m->WriteDWord("DebugLevel", 3);
      m->WriteString("DebugFileName", "Tidewell.log");
    }
  }
  const std::vector<uint8_t> db = DatabaseBytes(home);
  Seed("registry_db", "program", db);

  // A damaged table whose parents loop made deleting a subkey walk forever.
  const std::string looped = scratch + "/looped.sqlite";
  fuzzing::WriteFile(looped, db.data(), db.size());
  sqlite3* h = nullptr;
  if (sqlite3_open(looped.c_str(), &h) == SQLITE_OK) {
    sqlite3_exec(h,
                 "UPDATE keys SET parent = (SELECT id FROM keys WHERE name = "
                 "'{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}') "
                 "WHERE id = 1",
                 nullptr, nullptr, nullptr);
  }
  sqlite3_close(h);
  std::ifstream in(looped, std::ios::binary);
  Seed(
      "registry_db", "regress-parent-loop",
      std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  fuzzing::DiscardLog();
  const std::string scratch = fuzzing::ScratchFolder();
  fuzzing::UseScratchHome();
  Projects(scratch);
  Settings();
  Schedules();
  Archives(scratch);
  LeftoverRecords();
  FtpTexts();
  UserDirsTexts();
  Registry(scratch);
  return 0;
}
