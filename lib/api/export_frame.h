// The frame every exported function shares: a CHalvorin_Exception pointer thrown inside the
// library becomes the function's status, its text and details reach the caller's prefix
// arguments, and no exception ever leaves the library.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "halvorin.h"
#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/halvorin_object.h"

// The caller's prefix arguments; the failure block only for burner/grabber functions.
struct HalvorinI_ExportPrefix {
  char* m__PCHAR__ExceptionText = nullptr;
  std::uint32_t m__ULONG__ExceptionTextLength = 0;
  std::uint32_t* m__PULONG__SystemError = nullptr;
  CDB_FAILURE_INFORMATION* m__PCDB_FAILURE_INFORMATION__Failure = nullptr;
};

// The prefix of an export's arguments; no failure block for the functions without one.
inline HalvorinI_ExportPrefix HalvorinI_PrefixOf(
    char* p__PCHAR__Text, std::uint32_t p__ULONG__Length, std::uint32_t* p__PULONG__SystemError,
    CDB_FAILURE_INFORMATION* p__PCDB_FAILURE_INFORMATION__Failure = nullptr) {
  HalvorinI_ExportPrefix prefix;
  prefix.m__PCHAR__ExceptionText = p__PCHAR__Text;
  prefix.m__ULONG__ExceptionTextLength = p__ULONG__Length;
  prefix.m__PULONG__SystemError = p__PULONG__SystemError;
  prefix.m__PCDB_FAILURE_INFORMATION__Failure = p__PCDB_FAILURE_INFORMATION__Failure;
  return prefix;
}

// The prefix arguments of a burner/grabber export, as they are named in its parameters.
#define HALVORIN_PREFIX_ARGS                                                      \
  p__PCHAR__ExceptionText, p__ULONG__ExceptionTextLength, p__PULONG__SystemError, \
      p__PCDB_FAILURE_INFORMATION__Failure

// Whether Halvorin_UpStart ran and Halvorin_DownShut has not since.
bool HalvorinI_IsStarted();

// The status of a caught exception pointer, with the prefix outputs filled: the text cut to
// the buffer and terminated, the system error for status 5, the failure block for status 8.
HALVORIN_STATUS HalvorinI_ReportException(
    const char* p__PCHAR__Export,
    std::unique_ptr<CHalvorin_Exception> p__PCHalvorin_Exception__Exception,
    const HalvorinI_ExportPrefix& p__HalvorinI_ExportPrefix__Prefix);
// Statuses for exceptions other than the library's own: 4 out of memory, 10 otherwise.
HALVORIN_STATUS HalvorinI_ReportForeignException(
    const char* p__PCHAR__Export, HALVORIN_STATUS p__HALVORIN_STATUS__Status,
    const char* p__PCHAR__Text, const HalvorinI_ExportPrefix& p__HalvorinI_ExportPrefix__Prefix);

// Runs `body` inside the frame of the export `name`; 0 when it returns.
template <class Body>
HALVORIN_STATUS HalvorinI_RunExport(const char* p__PCHAR__Export,
                                    const HalvorinI_ExportPrefix& p__HalvorinI_ExportPrefix__Prefix,
                                    Body&& body) {
  if (p__HalvorinI_ExportPrefix__Prefix.m__PCDB_FAILURE_INFORMATION__Failure)
    std::memset(p__HalvorinI_ExportPrefix__Prefix.m__PCDB_FAILURE_INFORMATION__Failure, 0,
                sizeof(CDB_FAILURE_INFORMATION));
  DebugTrace("\nHalvorin:%s(): ENTERed\n", p__PCHAR__Export);
  try {
    body();
    DebugTrace("\nHalvorin:%s(): EXITing with success\n", p__PCHAR__Export);
    return HALVORIN_STATUS_SUCCESS;
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    return HalvorinI_ReportException(
        p__PCHAR__Export, std::unique_ptr<CHalvorin_Exception>(p__PCHalvorin_Exception__Exception),
        p__HalvorinI_ExportPrefix__Prefix);
  } catch (const std::bad_alloc&) {
    return HalvorinI_ReportForeignException(p__PCHAR__Export, HALVORIN_STATUS_OUT_OF_MEMORY,
                                            "Out of memory!!!", p__HalvorinI_ExportPrefix__Prefix);
  } catch (const std::exception& e) {
    return HalvorinI_ReportForeignException(p__PCHAR__Export, HALVORIN_STATUS_GENERAL_FAILURE,
                                            e.what(), p__HalvorinI_ExportPrefix__Prefix);
  } catch (...) {
    return HalvorinI_ReportForeignException(p__PCHAR__Export, HALVORIN_STATUS_GENERAL_FAILURE,
                                            "Unknown failure!!!",
                                            p__HalvorinI_ExportPrefix__Prefix);
  }
}

// The handle of an object: always its CHalvorin_Object address, so that Halvorin_Destroy
// deletes it through the root's virtual destructor whatever else it derives from.
inline void* HalvorinI_HandleOf(CHalvorin_Object* p__PCHalvorin_Object__Object) {
  return static_cast<void*>(p__PCHalvorin_Object__Object);
}

// The object of a handle when it is of the class asked for, else null.
template <class Object>
Object* HalvorinI_ObjectOf(void* p__PVOID__Handle) {
  return dynamic_cast<Object*>(static_cast<CHalvorin_Object*>(p__PVOID__Handle));
}

// A creating export: 21 before start-up; otherwise `body` returns the new object
// (std::unique_ptr to a CHalvorin_Object), which the handle receives. The handle is null on
// every failure.
template <class Body>
HALVORIN_STATUS HalvorinI_RunCreatingExport(
    const char* p__PCHAR__Export, void** p__PPVOID__Handle,
    const HalvorinI_ExportPrefix& p__HalvorinI_ExportPrefix__Prefix, Body&& body) {
  if (p__PPVOID__Handle) *p__PPVOID__Handle = nullptr;
  if (!HalvorinI_IsStarted()) {
    DebugTrace("\nHalvorin:%s(): EXITing with failure, was not initialized\n", p__PCHAR__Export);
    return HALVORIN_STATUS_NOT_INITIALIZED;
  }
  return HalvorinI_RunExport(p__PCHAR__Export, p__HalvorinI_ExportPrefix__Prefix, [&] {
    if (!p__PPVOID__Handle)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:%s(): The handle pointer is NULL!!!", p__PCHAR__Export);
    std::unique_ptr<CHalvorin_Object> object = body();
    *p__PPVOID__Handle = HalvorinI_HandleOf(object.release());
  });
}
