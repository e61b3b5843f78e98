#include "lib/core/halvorin_exception.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "lib/core/debug_trace.h"

namespace {

void FormatInto(char (&text)[CHalvorin_Exception::kTextSize], const char* format,
                va_list arguments) {
  if (!format) return;
  std::vsnprintf(text, sizeof text, format, arguments);
}

thread_local HalvorinI_ThrownException t__Thrown;
thread_local bool t__BOOLEAN__IsThrownValid = false;

}  // namespace

void HalvorinI_Throw(CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  t__Thrown.m__PCHalvorin_Exception__Exception = p__PCHalvorin_Exception__Exception;
  t__Thrown.m__BOOLEAN__IsNull = !p__PCHalvorin_Exception__Exception;
  t__Thrown.m__LONG__Status =
      p__PCHalvorin_Exception__Exception ? p__PCHalvorin_Exception__Exception->GetStatus() : 12;
  if (p__PCHalvorin_Exception__Exception)
    std::snprintf(t__Thrown.m__CHAR__Text, sizeof t__Thrown.m__CHAR__Text, "%s",
                  p__PCHalvorin_Exception__Exception->GetText());
  else
    t__Thrown.m__CHAR__Text[0] = 0;
  t__BOOLEAN__IsThrownValid = true;
  throw p__PCHalvorin_Exception__Exception;
}

const HalvorinI_ThrownException* HalvorinI_InFlightException() {
  return t__BOOLEAN__IsThrownValid ? &t__Thrown : nullptr;
}

CHalvorin_Exception::CHalvorin_Exception(std::int32_t p__LONG__Status,
                                         std::uintptr_t p__ULONG_PTR__Detail,
                                         const char* p__PCHAR__Format, ...)
    : m__LONG__Status(p__LONG__Status), m__ULONG_PTR__Detail(p__ULONG_PTR__Detail) {
  va_list arguments;
  va_start(arguments, p__PCHAR__Format);
  FormatInto(m__CHAR__Text, p__PCHAR__Format, arguments);
  va_end(arguments);
}

CHalvorin_Exception::CHalvorin_Exception(
    std::unique_ptr<CDB_FAILURE_INFORMATION> p__PCDB_FAILURE_INFORMATION__Failure,
    const char* p__PCHAR__Format, ...)
    : m__LONG__Status(kHalvorinStatusScsiCommand),
      m__PCDB_FAILURE_INFORMATION__Failure(std::move(p__PCDB_FAILURE_INFORMATION__Failure)) {
  va_list arguments;
  va_start(arguments, p__PCHAR__Format);
  FormatInto(m__CHAR__Text, p__PCHAR__Format, arguments);
  va_end(arguments);
}

CHalvorin_Exception::~CHalvorin_Exception() {
  // Caught and freed here: no scope is left by it any more.
  if (t__BOOLEAN__IsThrownValid && t__Thrown.m__PCHalvorin_Exception__Exception == this)
    t__BOOLEAN__IsThrownValid = false;
}

std::uintptr_t CHalvorin_Exception::GetDetail() const {
  if (m__LONG__Status == kHalvorinStatusScsiCommand)
    return reinterpret_cast<std::uintptr_t>(m__PCDB_FAILURE_INFORMATION__Failure.get());
  return m__ULONG_PTR__Detail;
}

void HalvorinI_ThrowException(std::int32_t p__LONG__Status, std::uintptr_t p__ULONG_PTR__Detail,
                              const char* p__PCHAR__Format, ...) {
  char text[CHalvorin_Exception::kTextSize] = {};
  va_list arguments;
  va_start(arguments, p__PCHAR__Format);
  FormatInto(text, p__PCHAR__Format, arguments);
  va_end(arguments);
  DebugTrace("\n%s\n", text);
  HalvorinI_Throw(new (std::nothrow)
                      CHalvorin_Exception(p__LONG__Status, p__ULONG_PTR__Detail, "%s", text));
}

void HalvorinI_ThrowScsiException(
    std::unique_ptr<CDB_FAILURE_INFORMATION> p__PCDB_FAILURE_INFORMATION__Failure,
    const char* p__PCHAR__Format, ...) {
  char text[CHalvorin_Exception::kTextSize] = {};
  va_list arguments;
  va_start(arguments, p__PCHAR__Format);
  FormatInto(text, p__PCHAR__Format, arguments);
  va_end(arguments);
  DebugTrace("\n%s\n", text);
  // A failed allocation of the exception frees the block with the unique_ptr argument.
  HalvorinI_Throw(new (std::nothrow) CHalvorin_Exception(
      std::move(p__PCDB_FAILURE_INFORMATION__Failure), "%s", text));
}
