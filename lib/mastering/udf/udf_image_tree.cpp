#include "lib/mastering/udf/udf_image_tree.h"

#include "lib/core/halvorin_exception.h"

CHalvorin_File* CHalvorin_UDFImageTree::Own(
    std::unique_ptr<CHalvorin_File> p__PCHalvorin_File__File) {
  if (!p__PCHalvorin_File__File)
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                             "CHalvorin_UDFImageTree::Own(): the file object is NULL!!!");
  m__VECTOR__Files.push_back(std::move(p__PCHalvorin_File__File));
  return m__VECTOR__Files.back().get();
}

void CHalvorin_UDFImageTree::Master() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Tree);
  for (const auto& file : m__VECTOR__Files) AddChainTail(file.get());
  m__BOOLEAN__IsImageBuild = true;
  SeekToBegin();
}
