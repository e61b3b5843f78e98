// The settings record ("userdata") as the registry hands it over: every number read comes
// out within the settings dialog's ranges, and the record written from what was read reads
// back to the same settings.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/engine/settings/global_setting.h"
#include "fuzz/engine_log.h"
#include "fuzz/fuzz_support.h"

namespace {

bool InRange(const TGlobalSetting& g) {
  auto in = [](std::int32_t v, std::int32_t lo, std::int32_t hi) { return v >= lo && v <= hi; };
  bool ok = in(g.StartDelayMinutes, 0, 6000) && in(g.PriorityIndex, 0, 4) &&
            in(g.NetworkTimeoutSec, 1, 86400) && in(g.ReconnectDelaySec, 0, 86400) &&
            in(g.RetryCount, 0, 1000000) && in(g.LogFontSize, 1, 1638);
  for (const auto& a : g.Accounts) ok = ok && in(a->Port, 0, 65535);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    fuzzing::UseScratchHome();  // the constructor reads the (empty) registry
    fuzzing::DiscardLog();
    return true;
  }();
  (void)once;
  TGlobalSetting first;
  first.SaveOnDestroy = false;
  first.LoadFromRecord(std::vector<std::uint8_t>(data, data + size));
  if (!InRange(first)) __builtin_trap();
  const std::vector<std::uint8_t> record = first.Record();
  TGlobalSetting second;
  second.SaveOnDestroy = false;
  if (!second.LoadFromRecord(record)) __builtin_trap();  // a record we wrote always reads
  if (second.Record() != record) __builtin_trap();
  return 0;
}
