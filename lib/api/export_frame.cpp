#include "lib/api/export_frame.h"

#include <algorithm>
#include <cstdio>

namespace {

// strncpy into the caller's buffer, always terminated within its length.
void CopyText(const HalvorinI_ExportPrefix& prefix, const char* text) {
  char* to = prefix.m__PCHAR__ExceptionText;
  const std::uint32_t length = prefix.m__ULONG__ExceptionTextLength;
  if (!to || length == 0) return;
  const std::size_t n = std::min<std::size_t>(std::strlen(text), length - 1);
  std::memcpy(to, text, n);
  std::memset(to + n, 0, length - n);
}

}  // namespace

HALVORIN_STATUS HalvorinI_ReportException(
    const char* p__PCHAR__Export,
    std::unique_ptr<CHalvorin_Exception> p__PCHalvorin_Exception__Exception,
    const HalvorinI_ExportPrefix& p__HalvorinI_ExportPrefix__Prefix) {
  if (!p__PCHalvorin_Exception__Exception) {
    DebugTrace("\nHalvorin:%s(): EXITing with failure, WARNING! Exception pointer is NULL!\n",
               p__PCHAR__Export);
    return HALVORIN_STATUS_NO_EXCEPTION;
  }
  CHalvorin_Exception& exception = *p__PCHalvorin_Exception__Exception;
  const auto status = static_cast<HALVORIN_STATUS>(exception.GetStatus());
  DebugTrace(
      "\nHalvorin:%s(): EXITing with failure, exception number 0x%08X, exception text '%s'!!!\n",
      p__PCHAR__Export, static_cast<unsigned>(status), exception.GetText());
  CopyText(p__HalvorinI_ExportPrefix__Prefix, exception.GetText());
  if (status == HALVORIN_STATUS_SYSTEM_CALL &&
      p__HalvorinI_ExportPrefix__Prefix.m__PULONG__SystemError)
    *p__HalvorinI_ExportPrefix__Prefix.m__PULONG__SystemError =
        static_cast<std::uint32_t>(exception.GetDetail());
  if (status == HALVORIN_STATUS_SCSI_COMMAND) {
    const std::unique_ptr<CDB_FAILURE_INFORMATION> failure = exception.TakeFailureInformation();
    if (failure && p__HalvorinI_ExportPrefix__Prefix.m__PCDB_FAILURE_INFORMATION__Failure)
      std::memcpy(p__HalvorinI_ExportPrefix__Prefix.m__PCDB_FAILURE_INFORMATION__Failure,
                  failure.get(), sizeof(CDB_FAILURE_INFORMATION));
  }
  return status;
}

HALVORIN_STATUS HalvorinI_ReportForeignException(
    const char* p__PCHAR__Export, HALVORIN_STATUS p__HALVORIN_STATUS__Status,
    const char* p__PCHAR__Text, const HalvorinI_ExportPrefix& p__HalvorinI_ExportPrefix__Prefix) {
  char text[CHalvorin_Exception::kTextSize] = {};
  std::snprintf(text, sizeof text, "Halvorin:%s(): %s", p__PCHAR__Export,
                p__PCHAR__Text ? p__PCHAR__Text : "");
  DebugTrace(
      "\nHalvorin:%s(): EXITing with failure, exception number 0x%08X, exception text '%s'!!!\n",
      p__PCHAR__Export, static_cast<unsigned>(p__HALVORIN_STATUS__Status), text);
  CopyText(p__HalvorinI_ExportPrefix__Prefix, text);
  return p__HALVORIN_STATUS__Status;
}
