// Shared by the project tests: a field-by-field description of a project as JSON (the form
// bpj_codec.py reads), a project filled with unusual values, and a QUORVA_HOME per test.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/project/project.h"
#include "tests/support/temp_dir.h"

inline std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

inline std::string JsonBool(bool b) {
  return b ? "true" : "false";
}
inline std::string JsonInt(long long v) {
  return std::to_string(v);
}
inline std::string JsonDouble(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

inline std::string JoinJson(const std::vector<std::string>& parts, char open, char close) {
  std::string out(1, open);
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "," : "") + parts[i];
  return out + close;
}

// A project as its stored parts, in stream order.
struct TProjectDesc {
  std::vector<std::pair<std::string, std::string>> scalars;  // fields 1-52
  std::vector<std::pair<std::string, std::vector<std::string>>> lists;
  std::string snapshotReserved;
  std::vector<std::string> snapshotEntries;

  std::string Json() const {
    std::vector<std::string> parts;
    for (const auto& [k, v] : scalars) parts.push_back(JsonString(k) + ":" + v);
    for (const auto& [k, items] : lists)
      parts.push_back(JsonString(k) + ":" + JoinJson(items, '[', ']'));
    parts.push_back("\"Snapshot\":{\"reserved\":" + snapshotReserved +
                    ",\"entries\":" + JoinJson(snapshotEntries, '[', ']') + "}");
    return JoinJson(parts, '{', '}');
  }
};

// With `includedOnly` the items not written are left out, as a loaded project has none.
inline TProjectDesc Describe(const TProject& p, bool includedOnly = true) {
  TProjectDesc d;
  auto s = [&](const char* k, const std::string& v) { d.scalars.emplace_back(k, JsonString(v)); };
  auto i = [&](const char* k, long long v) { d.scalars.emplace_back(k, JsonInt(v)); };
  auto b = [&](const char* k, bool v) { d.scalars.emplace_back(k, JsonBool(v)); };
  s("Name", p.Name);
  i("RunCounter", p.RunCounter);
  i("DestinationType", p.DestinationType);
  s("DestinationFile", p.DestinationFile);
  i("WriterPort", p.WriterPort);
  i("WriterBus", p.WriterBus);
  i("WriterTargetID", p.WriterTargetID);
  i("WriterLUN", p.WriterLUN);
  i("SpeedIndex", p.SpeedIndex);
  b("EraseDisc", p.EraseDisc);
  s("FtpHost", p.FtpHost);
  i("FtpPort", p.FtpPort);
  s("FtpUser", p.FtpUser);
  s("FtpPassword", p.FtpPassword);
  b("FtpPassive", p.FtpPassive);
  b("UseProxy", p.UseProxy);
  i("ProxyType", p.ProxyType);
  s("ProxyHost", p.ProxyHost);
  i("ProxyPort", p.ProxyPort);
  b("ProxyAuth", p.ProxyAuth);
  s("ProxyUser", p.ProxyUser);
  s("ProxyPassword", p.ProxyPassword);
  i("BackupMode", p.BackupMode);
  b("Compress", p.Compress);
  i("CompressionLevel", p.CompressionLevel);
  b("Split", p.Split);
  i("SplitSizeIndex", p.SplitSizeIndex);
  b("DeleteAfterBackup", p.DeleteAfterBackup);
  i("OverwriteMode", p.OverwriteMode);
  b("UsePassword", p.UsePassword);
  s("Password", p.Password);
  b("RunBefore", p.RunBefore);
  s("RunBeforeCmd", p.RunBeforeCmd);
  b("RunBeforeWait", p.RunBeforeWait);
  b("RunAfter", p.RunAfter);
  s("RunAfterCmd", p.RunAfterCmd);
  b("RunAfterWait", p.RunAfterWait);
  b("SendMail", p.SendMail);
  i("MailCondition", p.MailCondition);
  i("MailAccountIndex", p.MailAccountIndex);
  s("SmtpHost", p.SmtpHost);
  i("SmtpPort", p.SmtpPort);
  b("SmtpAuth", p.SmtpAuth);
  s("SmtpUser", p.SmtpUser);
  s("SmtpPassword", p.SmtpPassword);
  s("MailAddress", p.MailAddress);
  s("MailExtraRecipients", p.MailExtraRecipients);
  s("MailSubject", p.MailSubject);
  s("MailBody", p.MailBody);
  d.scalars.emplace_back("Created", JsonDouble(p.Created));
  d.scalars.emplace_back("LastRun", JsonDouble(p.LastRun));
  std::vector<std::string> reserved;
  for (const auto w : p.Reserved) reserved.push_back(JsonInt(w));
  d.scalars.emplace_back("Reserved", JoinJson(reserved, '[', ']'));
  const std::pair<const char*, const TItems*> lists[] = {{"Files", &p.Files},
                                                         {"Folders", &p.Folders},
                                                         {"ExcludedPatterns", &p.ExcludedPatterns},
                                                         {"ExcludedFolders", &p.ExcludedFolders}};
  for (const auto& [name, items] : lists) {
    std::vector<std::string> out;
    for (int k = 0; k < items->Count(); ++k) {
      const TItem* it = items->Get(k);
      if (includedOnly && !it->Included) continue;
      out.push_back("{\"name\":" + JsonString(it->Name) + ",\"kind\":" + JsonInt(it->Kind) +
                    ",\"included\":" + JsonBool(it->Included) + "}");
    }
    d.lists.emplace_back(name, out);
  }
  d.snapshotReserved = JsonInt(p.Snapshot.Reserved);
  for (const auto& f : p.Snapshot.Files())
    d.snapshotEntries.push_back("{\"path\":" + JsonString(f->Path) + ",\"time\":" +
                                JsonInt(f->FileTime) + ",\"run\":" + JsonInt(f->Run) + "}");
  return d;
}

// Every field away from its default; `flip` inverts every Boolean and varies the rest.
inline void FillProject(TProject& p, bool flip) {
  p.Name = flip ? "Sicherung Größe Ärger 日本" : "Job ÄÖÜ \"quoted\" \\ back";
  p.RunCounter = flip ? 2147483647 : 7;
  p.DestinationType = flip ? 2 : 1;
  p.DestinationFile = flip ? "" : "Z:\\home\\ann\\Übung\\job.qvp";
  p.WriterPort = -1;
  p.WriterBus = 2;
  p.WriterTargetID = flip ? 3 : 0;
  p.WriterLUN = 4;
  p.SpeedIndex = 5;
  p.EraseDisc = !flip;
  p.FtpHost = flip ? "ftp.example.org" : "";
  p.FtpPort = 2121;
  p.FtpUser = "anna";
  p.FtpPassword = flip ? "" : "pässwörd";
  p.FtpPassive = flip;
  p.UseProxy = !flip;
  p.ProxyType = 4;
  p.ProxyHost = "proxy";
  p.ProxyPort = -2147483647 - 1;
  p.ProxyAuth = flip;
  p.ProxyUser = "";
  p.ProxyPassword = "x";
  p.BackupMode = flip ? 0 : 1;
  p.Compress = !flip;
  p.CompressionLevel = 3;
  p.Split = flip;
  p.SplitSizeIndex = 2;
  p.DeleteAfterBackup = !flip;
  p.OverwriteMode = 2;
  p.UsePassword = flip;
  p.Password = "geheim";
  p.RunBefore = !flip;
  p.RunBeforeCmd = "/bin/echo before";
  p.RunBeforeWait = flip;
  p.RunAfter = !flip;
  p.RunAfterCmd = "";
  p.RunAfterWait = flip;
  p.SendMail = !flip;
  p.MailCondition = 1;
  p.MailAccountIndex = 3;
  p.SmtpHost = "smtp.example.org";
  p.SmtpPort = 587;
  p.SmtpAuth = flip;
  p.SmtpUser = "u";
  p.SmtpPassword = "";
  p.MailAddress = "ann@example.org";
  p.MailExtraRecipients = "a@b.c;d@e.f";
  p.MailSubject = "Betreff – ü";
  p.MailBody = "line1\r\nline2\ttab";
  p.Created = 45123.4567891234;
  p.LastRun = flip ? 0.0 : 45200.75;
  p.Reserved = {1, -1, 0, 2147483647, 5, 6, 7, flip ? 8 : -8};
  p.Files.Add("Z:\\home\\ann\\a.txt", 0);
  p.Files.Add("Z:\\home\\ann\\A.txt", 3);  // another file: paths compare exactly
  p.Files.Add("Z:\\home\\ann\\gone.txt", 0)->Included = false;
  p.Files.Add("Z:\\home\\ann\\Änderung.doc", -5);
  p.Folders.Add("Z:\\home\\ann\\Fotos\\", 0);
  p.Folders.Add("", 1);
  if (!flip) p.ExcludedPatterns.Add("*.tmp", 0);
  p.ExcludedPatterns.Add("Z:\\home\\ann\\skip.dat", 2)->Included = flip;
  p.ExcludedFolders.Add("Z:\\home\\ann\\Cache\\", 0);
  p.Snapshot.Reserved = flip ? 0 : -7;
  p.Snapshot.Add(std::make_unique<TRuntimeFile>("Z:\\home\\ann\\a.txt", 0x52A35C21, 3));
  p.Snapshot.Add(std::make_unique<TRuntimeFile>("Z:\\home\\ann\\Änderung.doc", -1, 0));
  p.Snapshot.Add(std::make_unique<TRuntimeFile>("", 0, 2147483647));
}

// Each test gets its own program folder.
class ProjectHome {
 public:
  ProjectHome() { setenv("QUORVA_HOME", home_.Posix().c_str(), 1); }
  const TempDir& Dir() const { return home_; }

 private:
  TempDir home_;
};
