#include "platform/registry/mime_types.h"

#include <fstream>

#include "platform/text/text.h"

namespace platform::registry {
namespace {

constexpr const char* kGlobs2 = "/usr/share/mime/globs2";  // weight:type:glob[:flags]
constexpr const char* kGlobs = "/usr/share/mime/globs";    // type:glob

struct Match {
  int weight = -1;
  bool caseSensitive = false;
  std::string type;
};

// Only the plain "*<extension>" globs answer an extension key.
void Consider(std::string_view extension, int weight, std::string_view type, std::string_view glob,
              bool caseSensitive, Match& best) {
  if (glob.size() < 2 || glob[0] != '*') return;
  const std::string_view tail = glob.substr(1);
  if (tail.find_first_of("*?[") != std::string_view::npos) return;
  if (caseSensitive ? tail != extension : !text::SameTextCI(tail, extension)) return;
  // The heavier glob wins; at the same weight a case-sensitive one is the closer match.
  if (weight > best.weight || (weight == best.weight && caseSensitive && !best.caseSensitive)) {
    best.weight = weight;
    best.caseSensitive = caseSensitive;
    best.type = std::string(type);
  }
}

std::string_view Field(std::string_view& line) {
  const size_t colon = line.find(':');
  const std::string_view field = line.substr(0, colon);
  line = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
  return field;
}

}  // namespace

std::optional<std::string> ContentTypeOfExtension(std::string_view extension) {
  if (extension.size() < 2 || extension[0] != '.') return std::nullopt;
  Match best;
  std::string line;
  if (std::ifstream in(kGlobs2); in) {
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::string_view rest = line;
      const std::string_view weightText = Field(rest);
      const std::string_view type = Field(rest);
      const std::string_view glob = Field(rest);
      int weight = 0;
      for (char c : weightText) {
        if (c < '0' || c > '9' || weight > 1000) {
          weight = -1;
          break;
        }
        weight = weight * 10 + (c - '0');
      }
      if (weight < 0 || weightText.empty() || type.empty()) continue;
      bool caseSensitive = false;
      while (!rest.empty()) caseSensitive |= Field(rest) == "cs";
      Consider(extension, weight, type, glob, caseSensitive, best);
    }
  } else if (std::ifstream old(kGlobs); old) {
    while (std::getline(old, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::string_view rest = line;
      const std::string_view type = Field(rest);
      if (!type.empty()) Consider(extension, 50, type, rest, false, best);
    }
  }
  if (best.type.empty()) return std::nullopt;
  return best.type;
}

}  // namespace platform::registry
