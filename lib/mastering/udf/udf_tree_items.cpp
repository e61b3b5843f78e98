#include "lib/mastering/udf/udf_tree_items.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "lib/core/debug_trace.h"
#include "lib/mastering/tree/file_tree.h"
#include "lib/mastering/udf/udf_descriptors.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace {

using Item = HALVORIN_UDF_TREE_ITEM;
constexpr std::uint32_t kError = 0xFFFFFFFF;  // memory could not be allocated

// Zeroes every field the library uses. The four descriptor blocks are left as they are: the
// image formats its descriptors when it is read, so an array of items from calloc or mmap never
// maps their pages.
void Prepare(Item* item, std::uint32_t identifier, const char* name) {
  auto* bytes = reinterpret_cast<std::uint8_t*>(item);
  std::memset(bytes, 0, offsetof(Item, m__UCHAR__FileEntry));
  std::memset(bytes + offsetof(Item, m__PVOID__File), 0,
              sizeof *item - offsetof(Item, m__PVOID__File));
  item->m__ULONG__Identifier = identifier;
  // Every letter, as the case rule of the names has it; then cut, since upper case may take
  // more bytes than the name had.
  const std::string upper =
      HalvorinI_Utf8Prefix(platform::text::UpperCase(name), sizeof item->m__CHAR__Name - 1);
  std::memcpy(item->m__CHAR__Name, upper.data(), upper.size());
}

void LinkLast(Item* item, Item* parent) {
  if (!parent) return;
  item->m__PParent = parent;
  item->m__PPrevious = parent->m__PLastKid;
  if (parent->m__PLastKid)
    parent->m__PLastKid->m__PNext = item;
  else
    parent->m__PFirstKid = item;
  parent->m__PLastKid = item;
}

void LinkFirst(Item* item, Item* parent) {
  if (!parent) return;
  item->m__PParent = parent;
  item->m__PNext = parent->m__PFirstKid;
  if (parent->m__PFirstKid)
    parent->m__PFirstKid->m__PPrevious = item;
  else
    parent->m__PLastKid = item;
  parent->m__PFirstKid = item;
}

// The whole file into zeroed memory of whole blocks; 0 or the error.
std::uint32_t ReadContent(Item* item, const char* path) {
  const std::size_t bytes = std::size_t(item->m__ULONG__SizeInBlocks) * 2048;
  auto* content = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
  if (!content) return kError;
  try {
    platform::fs::File file(path, platform::fs::OpenMode::Read);
    std::size_t done = 0;
    while (done < item->m__ULONGLONG__Size) {
      const std::size_t n = file.Read(content + done, item->m__ULONGLONG__Size - done);
      if (n == 0) break;  // a file that shrank: the rest stays zero
      done += n;
    }
  } catch (const platform::fs::FsError& e) {
    std::free(content);
    return static_cast<std::uint32_t>(e.error() ? e.error() : EIO);
  }
  item->m__PUCHAR__Content = content;
  item->m__BOOLEAN__IsInMemory = 1;
  return 0;
}

}  // namespace

std::uint32_t HalvorinI_UdfFormatFile(Item* p__PItem, std::uint32_t p__ULONG__Identifier,
                                      const char* p__PCHAR__Name, const char* p__PCHAR__Path,
                                      Item* p__PParent) {
  if (!p__PItem || !p__PCHAR__Name || !p__PCHAR__Path) return EINVAL;
  Prepare(p__PItem, p__ULONG__Identifier, p__PCHAR__Name);
  if (std::strlen(p__PCHAR__Path) >= sizeof p__PItem->m__CHAR__Path) return ENAMETOOLONG;
  std::memcpy(p__PItem->m__CHAR__Path, p__PCHAR__Path, std::strlen(p__PCHAR__Path));
  // One open, its stat and the close: the file must open for reading (the file layer takes
  // regular files only and never waits on the name), and nothing is held.
  if (!platform::fs::ToPosix(p__PCHAR__Path)) return ENOENT;
  struct stat st {};
  std::optional<std::int64_t> born;
  try {
    platform::fs::File file(p__PCHAR__Path, platform::fs::OpenMode::Read);
    if (::fstat(file.Descriptor(), &st) != 0) return static_cast<std::uint32_t>(errno);
    born = platform::fs::BirthTimeSec(file);
  } catch (const platform::fs::FsError& e) {
    DebugTrace("\nUDF:Halvorin_UDF_FormatTreeItemAsFile(): '%s' cannot be opened, error %d\n",
               p__PCHAR__Path, e.error());
    // The header's word: a folder, a FIFO, a socket, a device, anything that is no regular
    // file, is 22, whatever the system said when it was opened.
    const auto info = platform::fs::Stat(p__PCHAR__Path);
    if (info && !info->isBrokenLink && info->type != platform::fs::EntryType::Regular)
      return EINVAL;
    return static_cast<std::uint32_t>(e.error() ? e.error() : EIO);
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t blocks = (size + 2047) / 2048;
  if (blocks > 0xFFFFFFFFull) return EFBIG;
  p__PItem->m__ULONGLONG__Size = size;
  p__PItem->m__ULONG__SizeInBlocks = static_cast<std::uint32_t>(blocks);
  // The file's creation time: its birth time where the file system keeps one, else the last
  // write time.
  HalvorinI_IsoDateOf(born ? *born : static_cast<std::int64_t>(st.st_mtim.tv_sec),
                      p__PItem->m__UCHAR__Date);
  const char* name = p__PItem->m__CHAR__Name;
  if (blocks && (std::strstr(name, ".IFO") || std::strstr(name, ".BUP")))
    if (const std::uint32_t error = ReadContent(p__PItem, p__PCHAR__Path)) return error;
  LinkLast(p__PItem, p__PParent);
  return 0;
}

std::uint32_t HalvorinI_UdfFormatDirectory(Item* p__PItem, std::uint32_t p__ULONG__Identifier,
                                           const char* p__PCHAR__Name, Item* p__PParent) {
  if (!p__PItem || !p__PCHAR__Name) return EINVAL;
  Prepare(p__PItem, p__ULONG__Identifier, p__PCHAR__Name);
  p__PItem->m__BOOLEAN__IsDirectory = 1;
  HalvorinI_IsoDateOf(static_cast<std::int64_t>(std::time(nullptr)), p__PItem->m__UCHAR__Date);
  LinkFirst(p__PItem, p__PParent);
  if (p__PParent) ++p__PParent->m__USHORT__Subdirectories;
  return 0;
}

void HalvorinI_UdfCleanUp(Item* p__PItems, std::uint32_t p__ULONG__Count) {
  if (!p__PItems) return;
  for (std::uint32_t i = 0; i < p__ULONG__Count; ++i) {
    Item& item = p__PItems[i];
    if (item.m__ULONG__Identifier == 0 || item.m__BOOLEAN__IsDirectory) continue;
    std::free(item.m__PUCHAR__Content);
    item.m__PUCHAR__Content = nullptr;
    item.m__BOOLEAN__IsInMemory = 0;
  }
}

void HalvorinI_UdfForgetReaders(Item* p__PRoot) {
  if (!p__PRoot) return;
  std::vector<Item*> stack{p__PRoot};
  while (!stack.empty()) {
    Item* item = stack.back();
    stack.pop_back();
    item->m__PVOID__File = nullptr;
    for (Item* k = item->m__PFirstKid; k; k = k->m__PNext) stack.push_back(k);
  }
}
