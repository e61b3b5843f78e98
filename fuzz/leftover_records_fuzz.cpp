// The records that name what a stopped run left, from untrusted bytes: an archive replacement's
// commit record reads whole or not at all, and what reads is written back to the same text; a
// run's list gives only items of its two forms.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/engine/archive/zip_commit_record.h"
#include "app/engine/backup/run_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto plan = DecodeCommitRecord(text)) {
    if (plan->fresh.empty()) __builtin_trap();
    const std::string again = EncodeCommitRecord(*plan);
    const auto back = DecodeCommitRecord(again);
    if (!back || EncodeCommitRecord(*back) != again) __builtin_trap();
  }
  for (const TRunRecordItem& item : ReadRunRecord(text))
    if (item.path.empty() || item.commitRecord == item.identity.has_value()) __builtin_trap();
  return 0;
}
