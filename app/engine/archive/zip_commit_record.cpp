#include "app/engine/archive/zip_commit_record.h"

#include "app/engine/record_lines.h"

namespace {

constexpr const char* kHeader = "QuorvaBackup archive replacement";

void Put(std::string& out, const char* kind, const TCommitFile& f) {
  std::vector<std::string> fields = {kind, f.path, f.moved};
  AppendIdentityFields(fields, f.identity);
  out += RecordLine(fields);
}

}  // namespace

std::string CommitRecordPath(std::string_view archivePath) {
  return std::string(archivePath) + ".commit";
}

std::string EncodeCommitRecord(const TCommitPlan& plan) {
  std::string out = RecordLine({kHeader});
  for (const TCommitFile& f : plan.fresh) Put(out, "new", f);
  for (const TCommitFile& f : plan.earlier) Put(out, "earlier", f);
  return out + RecordLine({"end"});
}

std::optional<TCommitPlan> DecodeCommitRecord(std::string_view text) {
  const auto lines = ReadRecordLines(text);
  if (lines.size() < 3 || lines.front() != std::vector<std::string>{kHeader} ||
      lines.back() != std::vector<std::string>{"end"})
    return std::nullopt;
  TCommitPlan plan;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const auto& l = lines[i];
    const auto identity = ReadIdentityFields(l, 3);
    if (l.size() != 6 || l[1].empty() || l[2].empty() || !identity) return std::nullopt;
    TCommitFile f{l[1], l[2], *identity};
    if (l[0] == "new" && plan.earlier.empty())
      plan.fresh.push_back(std::move(f));
    else if (l[0] == "earlier")
      plan.earlier.push_back(std::move(f));
    else
      return std::nullopt;
  }
  if (plan.fresh.empty()) return std::nullopt;
  return plan;
}
