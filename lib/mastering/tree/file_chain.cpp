#include "lib/mastering/tree/file_chain.h"

#include "lib/core/halvorin_exception.h"
#include "lib/core/trace_scope.h"

void CHalvorin_FileChain::Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_FileChain::Read");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  if (!m__PCHalvorin_File__LastTouched)
    HalvorinI_ThrowException(
        kHalvorinStatusInternalState, 0,
        "CHalvorin_FileChain::Read(): m__PCHalvorin_File__LastTouched == NULL!!!");
  m__PCHalvorin_File__LastTouched =
      CHalvorin_File::Read(m__PCHalvorin_File__LastTouched, p__ULONGLONG__Count, p__PUCHAR__Buffer);
}

std::uint64_t CHalvorin_FileChain::GetSizeInUCHARs() {
  CHalvorin_TraceScope trace("CHalvorin_FileChain::GetSizeInUCHARs");
  return m__ULONGLONG__SizeInUCHARs.load();
}

void CHalvorin_FileChain::AddChainTail(CHalvorin_File* p__PCHalvorin_File__NewTail) {
  CHalvorin_TraceScope trace("CHalvorin_FileChain::AddChainTail");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  if (!p__PCHalvorin_File__NewTail)
    HalvorinI_ThrowException(
        kHalvorinStatusInvalidArgument, 0,
        "CHalvorin_FileChain::AddChainTail(): p__PCHalvorin_File__NewTail == NULL!!!");
  p__PCHalvorin_File__NewTail->m__PCHalvorin_File__Next = nullptr;
  if (m__PCHalvorin_File__Tail)
    m__PCHalvorin_File__Tail->m__PCHalvorin_File__Next = p__PCHalvorin_File__NewTail;
  else
    m__PCHalvorin_File__Head = p__PCHalvorin_File__NewTail;
  m__PCHalvorin_File__Tail = p__PCHalvorin_File__NewTail;
  m__PCHalvorin_File__LastTouched = p__PCHalvorin_File__NewTail;
  m__ULONGLONG__SizeInUCHARs += p__PCHalvorin_File__NewTail->GetSizeInUCHARs();
}

void CHalvorin_FileChain::AddChainHead(CHalvorin_File* p__PCHalvorin_File__NewHead) {
  CHalvorin_TraceScope trace("CHalvorin_FileChain::AddChainHead");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  if (!p__PCHalvorin_File__NewHead)
    HalvorinI_ThrowException(
        kHalvorinStatusInvalidArgument, 0,
        "CHalvorin_FileChain::AddChainHead(): p__PCHalvorin_File__NewHead == NULL!!!");
  p__PCHalvorin_File__NewHead->m__PCHalvorin_File__Next = m__PCHalvorin_File__Head;
  if (!m__PCHalvorin_File__Tail) m__PCHalvorin_File__Tail = p__PCHalvorin_File__NewHead;
  m__PCHalvorin_File__Head = p__PCHalvorin_File__NewHead;
  m__PCHalvorin_File__LastTouched = p__PCHalvorin_File__NewHead;
  m__ULONGLONG__SizeInUCHARs += p__PCHalvorin_File__NewHead->GetSizeInUCHARs();
}

void CHalvorin_FileChain::SeekToBegin() {
  CHalvorin_TraceScope trace("CHalvorin_FileChain::SeekToBegin");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  if (!m__PCHalvorin_File__LastTouched)
    HalvorinI_ThrowException(
        kHalvorinStatusInternalState, 0,
        "CHalvorin_FileChain::SeekToBegin(): m__PCHalvorin_File__LastTouched == NULL!!!");
  // Bounded budgets keep the rewind's call depth at 16 files whatever the chain's length.
  CHalvorin_File* file = m__PCHalvorin_File__Head;
  while (file) {
    std::int32_t budget = 16;
    file = file->SeekToBeginUnsafe(&budget);
  }
  m__PCHalvorin_File__LastTouched = m__PCHalvorin_File__Head;
  ChainRewound();
}

void CHalvorin_FileChain::ShareChainOf(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source) {
  CHalvorin_TraceScope trace("CHalvorin_FileChain::ShareChainOf");
  if (!p__PCHalvorin_FileChain__Source)
    HalvorinI_ThrowException(
        kHalvorinStatusInvalidArgument, 0,
        "CHalvorin_FileChain::ShareChainOf(): p__PCHalvorin_FileChain__Source == NULL!!!");
  CHalvorin_CriticalSectionLock source(
      &p__PCHalvorin_FileChain__Source->m__CRITICAL_SECTION__Chain);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  m__PCHalvorin_File__Head = p__PCHalvorin_FileChain__Source->m__PCHalvorin_File__Head;
  m__PCHalvorin_File__LastTouched =
      p__PCHalvorin_FileChain__Source->m__PCHalvorin_File__LastTouched;
  m__PCHalvorin_File__Tail = p__PCHalvorin_FileChain__Source->m__PCHalvorin_File__Tail;
  m__ULONGLONG__SizeInUCHARs = p__PCHalvorin_FileChain__Source->m__ULONGLONG__SizeInUCHARs.load();
}
