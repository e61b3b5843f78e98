// Files read back to back as one stream: what the write-cache thread and the exports read.
#pragma once

#include <atomic>
#include <cstdint>

#include "lib/core/critical_section_lock.h"
#include "lib/mastering/tree/file_objects.h"

class CHalvorin_FileChain : public CHalvorin_Object {
 public:
  CHalvorin_FileChain() = default;
  ~CHalvorin_FileChain() override = default;  // the files belong to their creators

  virtual void Read(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer);
  virtual std::uint64_t GetSizeInUCHARs();

  void AddChainTail(CHalvorin_File* p__PCHalvorin_File__NewTail);
  void AddChainHead(CHalvorin_File* p__PCHalvorin_File__NewHead);
  void SeekToBegin();

 protected:
  // Reads the files of another chain from where that chain stands; they stay its files.
  void ShareChainOf(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source);
  // Called by SeekToBegin once the chain stands at its start again, under the chain lock.
  virtual void ChainRewound() {}

  CHalvorin_File* m__PCHalvorin_File__Head = nullptr;
  CHalvorin_File* m__PCHalvorin_File__LastTouched = nullptr;
  // The real tail: a read moves LastTouched, and a later addition must still link at the end.
  CHalvorin_File* m__PCHalvorin_File__Tail = nullptr;
  CHalvorin_CriticalSection m__CRITICAL_SECTION__Chain;
  std::atomic<std::uint64_t> m__ULONGLONG__SizeInUCHARs{0};
};
