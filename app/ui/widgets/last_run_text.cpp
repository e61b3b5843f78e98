#include "app/ui/widgets/last_run_text.h"

#include "platform/shell/shell.h"

std::string LastRunText(double lastRun) {
  if (lastRun == 0) return "Not yet";
  return platform::shell::FormatShortDateLongTime(platform::shell::UnixFromDateTime(lastRun));
}
