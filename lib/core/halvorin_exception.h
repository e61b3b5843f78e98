// The one exception of the library. It is made on the heap and thrown by pointer; whoever
// catches the pointer deletes it (std::unique_ptr at every catch site). When the exception
// itself cannot be allocated a null pointer is thrown, reported as status 12.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "halvorin.h"
#include "lib/core/halvorin_object.h"

class CHalvorin_Exception : public CHalvorin_Object {
 public:
  static constexpr std::size_t kTextSize = 4096;

  // The detail is the system error for status 5, otherwise of no meaning to the catcher. The
  // text is formatted printf-style and cut to 4095 characters.
  CHalvorin_Exception(std::int32_t p__LONG__Status, std::uintptr_t p__ULONG_PTR__Detail,
                      const char* p__PCHAR__Format, ...) __attribute__((format(printf, 4, 5)));
  // Status 8: the exception owns the failure block (which may be null) and frees it with
  // itself unless a catcher takes it over.
  CHalvorin_Exception(std::unique_ptr<CDB_FAILURE_INFORMATION> p__PCDB_FAILURE_INFORMATION__Failure,
                      const char* p__PCHAR__Format, ...) __attribute__((format(printf, 3, 4)));
  ~CHalvorin_Exception() override;

  std::int32_t GetStatus() const { return m__LONG__Status; }
  const char* GetText() const { return m__CHAR__Text; }
  // Pointer-sized: the system error, or for status 8 the address of the failure block.
  std::uintptr_t GetDetail() const;
  const CDB_FAILURE_INFORMATION* GetFailureInformation() const {
    return m__PCDB_FAILURE_INFORMATION__Failure.get();
  }
  std::unique_ptr<CDB_FAILURE_INFORMATION> TakeFailureInformation() {
    return std::move(m__PCDB_FAILURE_INFORMATION__Failure);
  }

 private:
  std::int32_t m__LONG__Status;
  char m__CHAR__Text[kTextSize] = {};
  std::uintptr_t m__ULONG_PTR__Detail = 0;
  std::unique_ptr<CDB_FAILURE_INFORMATION> m__PCDB_FAILURE_INFORMATION__Failure;
};

// Status numbers thrown inside the library (the exported interface's numbers).
inline constexpr std::int32_t kHalvorinStatusInvalidArgument = 2;
inline constexpr std::int32_t kHalvorinStatusInternalState = 3;
inline constexpr std::int32_t kHalvorinStatusOutOfMemory = 4;
inline constexpr std::int32_t kHalvorinStatusSystemCall = 5;
inline constexpr std::int32_t kHalvorinStatusAspiInquiry = 6;
inline constexpr std::int32_t kHalvorinStatusNotReady = 7;
inline constexpr std::int32_t kHalvorinStatusScsiCommand = 8;
inline constexpr std::int32_t kHalvorinStatusWrongDeviceType = 9;
inline constexpr std::int32_t kHalvorinStatusGeneralFailure = 10;
inline constexpr std::int32_t kHalvorinStatusCancelled = 14;
inline constexpr std::int32_t kHalvorinStatusNameTooLong = 15;
inline constexpr std::int32_t kHalvorinStatusRangeNotFound = 17;
inline constexpr std::int32_t kHalvorinStatusRangeBeyondTrack = 20;

// The last exception thrown on this thread, as the exit traces of the scopes it leaves show
// it: a copy, since the exception may be freed (on another thread, even) while they unwind.
struct HalvorinI_ThrownException {
  const CHalvorin_Exception* m__PCHalvorin_Exception__Exception = nullptr;  // identity only
  bool m__BOOLEAN__IsNull = false;  // its allocation failed: a null pointer was thrown
  std::int32_t m__LONG__Status = 0;
  char m__CHAR__Text[CHalvorin_Exception::kTextSize] = {};
};

// Records the exception as this thread's last one and throws it (which may be null). Every
// throw of a library exception goes through it or through the two functions below.
[[noreturn]] void HalvorinI_Throw(CHalvorin_Exception* p__PCHalvorin_Exception__Exception);
// This thread's last thrown exception while it lives; null when there is none.
const HalvorinI_ThrownException* HalvorinI_InFlightException();

// Traces "\n<text>\n" and throws a new exception with the text (a null pointer when it cannot
// be allocated).
[[noreturn]] void HalvorinI_ThrowException(std::int32_t p__LONG__Status,
                                           std::uintptr_t p__ULONG_PTR__Detail,
                                           const char* p__PCHAR__Format, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void HalvorinI_ThrowScsiException(
    std::unique_ptr<CDB_FAILURE_INFORMATION> p__PCDB_FAILURE_INFORMATION__Failure,
    const char* p__PCHAR__Format, ...) __attribute__((format(printf, 2, 3)));
