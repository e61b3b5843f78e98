#include "app/engine/record_lines.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace {

std::optional<std::uint64_t> Number(const std::string& s) {
  std::uint64_t v = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size() && HexValue(field[i + 1]) >= 0 &&
        HexValue(field[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

std::string RecordLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t f = 0; f < fields.size(); ++f) {
    if (f > 0) line += '\t';
    for (const char c : fields[f]) {
      if (c == '\t')
        line += "%09";
      else if (c == '\n')
        line += "%0A";
      else if (c == '%')
        line += "%25";
      else
        line += c;
    }
  }
  return line + '\n';
}

std::vector<std::vector<std::string>> ReadRecordLines(std::string_view text) {
  std::vector<std::vector<std::string>> lines;
  for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      fields.push_back(Unescape(line.substr(start, tab - start)));
      if (tab == std::string_view::npos) break;
      start = tab + 1;
    }
    lines.push_back(std::move(fields));
  }
  return lines;
}

void AppendIdentityFields(std::vector<std::string>& fields, const platform::fs::FileIdentity& id) {
  fields.push_back(std::to_string(id.device));
  fields.push_back(std::to_string(id.inode));
  fields.push_back(id.birthNsec ? std::to_string(*id.birthNsec) : std::string());
}

std::optional<platform::fs::FileIdentity> ReadIdentityFields(const std::vector<std::string>& fields,
                                                             size_t at) {
  if (fields.size() < at + 3) return std::nullopt;
  const auto device = Number(fields[at]), inode = Number(fields[at + 1]);
  const auto birth = Number(fields[at + 2]);
  if (!device || !inode || (!birth && !fields[at + 2].empty()) ||
      (birth && *birth > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())))
    return std::nullopt;
  platform::fs::FileIdentity id;
  id.device = *device;
  id.inode = *inode;
  if (birth) id.birthNsec = static_cast<std::int64_t>(*birth);
  return id;
}
