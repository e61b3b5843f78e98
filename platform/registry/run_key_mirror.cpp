#include "platform/registry/run_key_mirror.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/shell/user_folders.h"
#include "platform/text/text.h"

namespace platform::registry {
namespace {

constexpr size_t kMaxReadableNamePart = 64;

// One UTF-8 code point at `i` (strict: no overlong forms, surrogates or values past
// U+10FFFF); false for an invalid sequence, `i` then left unchanged.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (i + len > s.size()) return false;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += len;
  return true;
}

bool IsControl(char32_t cp) {
  return cp < 0x20 || cp == 0x7F;
}

// The general escapes of a desktop entry string value.
void AppendEscaped(std::string& out, char c) {
  switch (c) {
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      out += c;
  }
}

// The Name is for display only: what it cannot hold becomes U+FFFD.
std::string NameValue(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    const size_t start = i;
    char32_t cp;
    if (!NextCodePoint(name, i, cp)) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else if (cp == '\n' || cp == '\t' || cp == '\r' || cp == '\\') {
      AppendEscaped(out, static_cast<char>(cp));
    } else if (IsControl(cp)) {
      out += "\xEF\xBF\xBD";
    } else if (cp == ' ' && (start == 0 || i == name.size())) {
      out += "\\s";  // readers strip blanks at either end of a value
    } else {
      out.append(name.substr(start, i - start));
    }
  }
  return out;
}

// Windows command-line words: blanks separate, double quotes group and are dropped.
std::vector<std::string> SplitCommand(std::string_view command) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool IsReserved(char c) {
  static constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`";
  return kReserved.find(c) != std::string_view::npos;
}

// One Exec argument: quoted when it holds a reserved character, '%' doubled (field codes).
std::optional<std::string> ExecArgument(std::string_view arg) {
  bool needQuotes = arg.empty();
  for (size_t i = 0; i < arg.size();) {
    char32_t cp;
    if (!NextCodePoint(arg, i, cp)) return std::nullopt;
    if (IsControl(cp) && cp != '\t' && cp != '\n' && cp != '\r') return std::nullopt;
    if (cp < 0x80 && IsReserved(static_cast<char>(cp))) needQuotes = true;
  }
  std::string out;
  if (needQuotes) out += '"';
  for (char c : arg) {
    if (c == '%') {
      out += "%%";
    } else if (needQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  if (needQuotes) out += '"';
  return out;
}

bool RemoveEntry(const std::string& posixPath) {
  struct stat st;
  if (lstat(posixPath.c_str(), &st) != 0) return errno == ENOENT;
  return unlink(posixPath.c_str()) == 0 || errno == ENOENT;
}

}  // namespace

std::string ShortPath(std::string_view path) {
  if (path.find_first_of(" \t") == std::string_view::npos) return std::string(path);
  return "\"" + std::string(path) + "\"";
}

std::string AutostartFolder() {
  const std::string config = shell::ConfigHome();
  return config.empty() ? std::string() : config + "/autostart";
}

std::string AutostartFileName(std::string_view valueName) {
  const std::string folded = text::FoldCase(valueName);
  std::string readable;
  for (char c : folded) {
    if (readable.size() >= kMaxReadableNamePart) break;
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    if (keep)
      readable += c;
    else if (readable.empty() || readable.back() != '_')
      readable += '_';
  }
  // The readable part may be shared by several names; the hash of the whole folded name tells
  // them apart and stays the same from run to run.
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(folded)));
  return "quorva-" + (readable.empty() ? std::string() : readable + "-") + hash + ".desktop";
}

std::optional<std::string> ExecLine(std::string_view command) {
  std::vector<std::string> words = SplitCommand(command);
  if (words.empty()) return std::string();
  // The program must be started by its POSIX path; the arguments go to it as they stand.
  if (auto program = fs::ToPosix(words[0])) words[0] = *program;
  std::string quoted;
  for (const auto& w : words) {
    auto arg = ExecArgument(w);
    if (!arg) return std::nullopt;
    if (!quoted.empty()) quoted += ' ';
    quoted += *arg;
  }
  std::string line;
  for (char c : quoted) AppendEscaped(line, c);
  return line;
}

bool MirrorRunValue(std::string_view name, const std::optional<std::string>& command) {
  const std::string folder = AutostartFolder();
  if (folder.empty()) return false;
  const std::string path = folder + "/" + AutostartFileName(name);

  std::string exec;
  if (command) {
    auto line = ExecLine(*command);
    if (!line) return false;
    exec = std::move(*line);
  }
  if (exec.empty()) return RemoveEntry(path);

  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + NameValue(name) +
                            "\nExec=" + exec + "\nX-GNOME-Autostart-enabled=true\n";
  try {
    if (!fs::CreateDirectories(fs::FromPosix(folder))) return false;
    fs::WriteWholeFileAtomic(fs::FromPosix(path), entry.data(), entry.size());
  } catch (const fs::FsError&) {
    return false;
  }
  return true;
}

std::uint64_t Fnv1a64(std::string_view s) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace platform::registry
