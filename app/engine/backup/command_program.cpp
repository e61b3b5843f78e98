#include "app/engine/backup/command_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The shell's reserved words and built-ins (dash and POSIX), which need no program file.
constexpr std::string_view kShellWords[] = {
    "!",       "{",        "}",        "case",   "do",    "done",    "elif",   "else",
    "esac",    "fi",       "for",      "if",     "in",    "then",    "until",  "while",
    ".",       ":",        "[",        "alias",  "bg",    "break",   "cd",     "chdir",
    "command", "continue", "echo",     "eval",   "exec",  "exit",    "export", "false",
    "fc",      "fg",       "getopts",  "hash",   "jobs",  "kill",    "local",  "printf",
    "pwd",     "read",     "readonly", "return", "set",   "shift",   "test",   "times",
    "trap",    "true",     "type",     "ulimit", "umask", "unalias", "unset",  "wait"};

bool IsShellWord(std::string_view word) {
  for (std::string_view w : kShellWords)
    if (w == word) return true;
  return false;
}

// The first word with its quotes and escapes resolved; nullopt when the shell would expand or
// rewrite it first (then only running it tells).
std::optional<std::string> FirstWord(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\n')) ++i;
  std::string word;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == ';' || c == '&' || c == '|' || c == '<' ||
        c == '>' || c == '(' || c == ')')
      break;
    if (c == '$' || c == '`' || c == '*' || c == '?' || c == '[' || c == '=' ||
        (c == '~' && word.empty() && !quoted))
      return std::nullopt;
    if (c == '\\') {
      if (++i < line.size()) word += line[i];
      continue;
    }
    if (c == '\'' || c == '"') {
      quoted = true;
      const size_t close = line.find(c, i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      const std::string_view inside = line.substr(i + 1, close - i - 1);
      if (c == '"' && inside.find_first_of("$`\\") != std::string_view::npos) return std::nullopt;
      word += inside;
      i = close;
      continue;
    }
    word += c;
  }
  if (word.empty() && !quoted) return std::nullopt;  // nothing, or syntax only the shell reads
  return word;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool CommandProgramRunnable(std::string_view commandLine) {
  const auto word = FirstWord(commandLine);
  if (!word) return true;
  if (word->find('/') != std::string::npos) return IsExecutableFile(*word);
  if (IsShellWord(*word)) return true;
  if (word->empty()) return false;
  const char* path = std::getenv("PATH");
  const std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t from = 0;
  for (;;) {
    const size_t colon = dirs.find(':', from);
    std::string dir(dirs.substr(from, colon == std::string_view::npos ? colon : colon - from));
    if (dir.empty()) dir = ".";
    if (IsExecutableFile(dir + "/" + *word)) return true;
    if (colon == std::string_view::npos) return false;
    from = colon + 1;
  }
}
