#include "app/engine/restore/compare_obj.h"

void TCompareObj::AddVersion(const TRunTimeProject* snapshot, std::string name) {
  if (!snapshot) return;
  auto version = std::make_unique<TRunTimeProject>();
  version->Reserved = snapshot->Reserved;
  snapshot->CopyTo(*version);
  Merged.MergeNewest(*version);
  Versions.push_back(std::move(version));
  Names.push_back(std::move(name));
}

TRunTimeProject* TCompareObj::Version(int version) const {
  if (version < 1 || version > VersionCount()) return nullptr;
  return Versions[static_cast<size_t>(version - 1)].get();
}

void TCompareObj::AddFileToVersion(int version, std::string path) {
  if (TRunTimeProject* v = Version(version))
    v->Add(std::make_unique<TRuntimeFile>(std::move(path), 0, 0));
}

TRuntimeFile* TCompareObj::FindInVersion(std::string_view path, int version) const {
  const TRunTimeProject* v = Version(version);
  return v ? v->FindByName(path) : nullptr;
}

void TCompareObj::Clear() {
  Versions.clear();
  Names.clear();
  Merged.Clear();
}
