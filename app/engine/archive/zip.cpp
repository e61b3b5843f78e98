#include "app/engine/archive/zip.h"

#include <archive.h>
#include <archive_entry.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "app/engine/archive/zip_archive_view.h"
#include "app/engine/archive/zip_archive_writer.h"
#include "app/engine/archive/zip_crypt.h"
#include "app/engine/archive/zip_directory.h"
#include "app/engine/archive/zip_extract_job.h"
#include "app/engine/archive/zip_names.h"
#include "app/engine/archive/zip_records.h"
#include "app/engine/archive/zip_volumes.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace fs = platform::fs;

namespace {

constexpr size_t kReadBlock = 256 * 1024;
constexpr std::uint64_t kMaxDefinitionSize = 256ull << 20;
constexpr std::uint64_t kMaxDirectoryBytes = 1ull << 30;
constexpr auto kCancelPoll = std::chrono::milliseconds(50);
constexpr std::uint64_t kProgressStep = 256 * 1024;
// Entries in one view of an archive read again past a damage (each view is read once).
constexpr size_t kViewEntries = 1024;

// libarchive converts entry names through the thread's LC_CTYPE; under a UTF-8 one they pass
// unchanged whatever locale the process runs in.
class TUtf8NamesScope {
 public:
  TUtf8NamesScope() {
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
    locale_t base = duplocale(uselocale(static_cast<locale_t>(0)));
    if (base == static_cast<locale_t>(0)) return;
    locale_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", base);
    if (locale_ == static_cast<locale_t>(0)) {
      freelocale(base);
      return;
    }
    previous_ = uselocale(locale_);
  }
  ~TUtf8NamesScope() {
    if (locale_ == static_cast<locale_t>(0)) return;
    uselocale(previous_);
    freelocale(locale_);
  }
  TUtf8NamesScope(const TUtf8NamesScope&) = delete;
  TUtf8NamesScope& operator=(const TUtf8NamesScope&) = delete;

 private:
  locale_t locale_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};

struct TEntryDeleter {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using TEntryHandle = std::unique_ptr<archive_entry, TEntryDeleter>;

struct TReadDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
using TReadHandle = std::unique_ptr<archive, TReadDeleter>;

std::string ErrorText(archive* a) {
  const char* text = archive_error_string(a);
  std::string s = text ? text : "unknown error";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();  // one log line
  return s;
}

std::optional<std::string> EntryName(archive_entry* e) {
  const char* name = archive_entry_pathname_utf8(e);
  if (!name) name = archive_entry_pathname(e);
  if (!name) return std::nullopt;
  return NormalizeStoredName(name);
}

bool IsFolderEntry(archive_entry* e, const std::optional<std::string>& name) {
  return archive_entry_filetype(e) == AE_IFDIR || (name && IsFolderEntryName(*name));
}

// Removes a temporary file unless it was put in place.
class TTempFile {
 public:
  explicit TTempFile(std::string path) : path_(std::move(path)) {}
  ~TTempFile() {
    if (!path_.empty()) fs::DeleteFile(path_);
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string& Path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace

int DeflateLevelFor(int compressionLevel) {
  switch (compressionLevel) {
    case 1:
      return 9;
    case 2:
      return 3;
    case 3:
      return 1;
    default:
      return 6;
  }
}

std::uint64_t VolumeSizeFor(int splitSizeIndex) {
  static constexpr std::uint64_t kSizes[] = {1468006, 681574400, 734003200, 460000000};
  if (splitSizeIndex < 0 || splitSizeIndex >= 4) return 0;
  return kSizes[splitSizeIndex];
}

std::uint8_t HelperOverwriteModeFor(int overwriteMode) {
  switch (overwriteMode) {
    case 1:
      return 2;
    case 2:
      return 4;
    default:
      return 1;
  }
}

// ---------------------------------------------------------------------------------------------

struct TZip::TImpl {
  using TItem = TZipSource;

  // What libarchive's callbacks work on during one pass.
  struct TReadContext {
    TImpl* impl = nullptr;
    const TZipArchiveView* view = nullptr;  // what libarchive reads instead of the archive
    std::uint64_t pos = 0;
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(kReadBlock);
    std::exception_ptr error;

    std::uint64_t Size() const { return view ? view->Size() : impl->reader->Size(); }
  };

  // Broken: libarchive cannot read on past this entry.
  enum class TStep { Done, Cancelled, Broken };
  using TEachHeader =
      std::function<TStep(archive* a, TReadContext& ctx, archive_entry* e, size_t index)>;

  bool writeMode = false;
  std::string path;
  THelper ownHelper;
  THelper* helper = &ownHelper;

  bool compress = false;
  int compressionLevel = 0;
  bool usePassword = false;
  std::string password;
  std::uint64_t volumeSize = 0;

  std::optional<TItem> definition;
  std::deque<TItem> items;  // stable: the index and the writer refer to their names
  std::unordered_map<std::string_view, size_t> itemByName;
  std::unique_ptr<TSliceWriter> writer;

  std::unique_ptr<TSliceReader> reader;
  std::vector<TZipEntry> entries;
  const std::unordered_map<std::string, std::uint32_t>* restoredModes = nullptr;
  // The directory as read directly, when every entry is one the workers can restore (a file
  // of one piece made by this program or its like); otherwise everything goes through
  // libarchive.
  std::optional<std::vector<TZipDirectoryEntry>> direct;
  // Otherwise the directory in archive order, read directly when a damage needs it.
  std::optional<std::vector<TZipDirectoryEntry>> ordered;
  bool orderedRead = false;
  std::string baseFolder;

  std::vector<std::string> failed;

  void Reset() {
    writer.reset();
    reader.reset();
    definition.reset();
    items.clear();
    itemByName.clear();
    entries.clear();
    direct.reset();
    ordered.reset();
    orderedRead = false;
    failed.clear();
  }

  // A new file item, or nullptr when it has no stored name or is there already.
  TZipSource* AddItem(std::string_view path);

  void ItemFailed(std::string key, std::string_view message) {
    helper->ItemFailure(message);
    failed.push_back(std::move(key));
  }

  // ---- writing ----

  bool ExecuteWrite() {
    if (!writer) throw EZipError("No archive is open for writing.");
    struct TDiscard {  // a run that does not complete leaves no temporary file
      std::unique_ptr<TSliceWriter>& writer;
      ~TDiscard() { writer.reset(); }
    } discard{writer};
    if (usePassword && password.empty())
      throw EZipError("The archive " + path + " cannot be encrypted with an empty password.");

    failed.clear();
    writer->SetVolumeSize(volumeSize);
    TZipCompression compression;
    compression.compress = compress;
    compression.level = DeflateLevelFor(compressionLevel);
    if (usePassword) compression.password = password;
    std::vector<const TZipSource*> order;
    order.reserve(items.size() + 1);
    if (definition) order.push_back(&*definition);
    for (const TZipSource& item : items) order.push_back(&item);
    TZipArchiveWriter archive(*writer, *helper, std::move(compression),
                              [this](const std::string& source, const std::string& message) {
                                ItemFailed(source, message);
                              });
    if (!archive.Write(order)) return false;
    writer->Close();
    if (helper->AbortQuery()) return false;
    writer->Commit();
    return true;
  }

  // ---- reading ----

  static la_ssize_t ReadCallback(archive*, void* client, const void** buffer) {
    auto* ctx = static_cast<TReadContext*>(client);
    try {
      const TZipArchiveView* view = ctx->view;
      size_t wanted = ctx->block.size();
      if (view) {
        if (ctx->pos >= view->directoryOffset) {
          const std::uint64_t at = ctx->pos - view->directoryOffset;
          if (at >= view->tail.size()) return 0;
          const auto n =
              static_cast<size_t>(std::min<std::uint64_t>(view->tail.size() - at, wanted));
          *buffer = view->tail.data() + at;
          ctx->pos += n;
          return static_cast<la_ssize_t>(n);
        }
        wanted =
            static_cast<size_t>(std::min<std::uint64_t>(wanted, view->directoryOffset - ctx->pos));
      }
      const size_t n =
          ctx->impl->reader->ReadAt(ctx->pos, ctx->block.data(), wanted, *ctx->impl->helper);
      ctx->pos += n;
      *buffer = ctx->block.data();
      return static_cast<la_ssize_t>(n);
    } catch (...) {
      ctx->error = std::current_exception();
      return ARCHIVE_FATAL;
    }
  }

  static la_int64_t SeekCallback(archive*, void* client, la_int64_t offset, int whence) {
    auto* ctx = static_cast<TReadContext*>(client);
    const auto size = static_cast<la_int64_t>(ctx->Size());
    la_int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<la_int64_t>(ctx->pos);
    if (whence == SEEK_END) base = size;
    const la_int64_t target = base + offset;
    if (target < 0 || target > size) return ARCHIVE_FATAL;
    ctx->pos = static_cast<std::uint64_t>(target);
    return target;
  }

  static const char* PassphraseCallback(archive*, void* client) {
    auto* impl = static_cast<TImpl*>(client);
    try {
      if (impl->helper->NeedPassword(impl->password)) return impl->password.c_str();
    } catch (const std::exception& e) {
      LogError(e.what());
    }
    return nullptr;
  }

  [[noreturn]] void ThrowReadFailure(archive* a, const TReadContext& ctx) {
    if (ctx.error) std::rethrow_exception(ctx.error);
    throw EZipError("The archive " + path + " is damaged or is not a zip archive: " + ErrorText(a));
  }

  TReadHandle OpenRead(TReadContext& ctx) {
    if (!reader) throw EZipError("No archive is open for extraction.");
    ctx.impl = this;
    TReadHandle handle(archive_read_new());
    archive* a = handle.get();
    if (!a) throw EZipError("Out of memory for the archive.");
    archive_read_support_format_zip_seekable(a);
    archive_read_set_passphrase_callback(a, this, PassphraseCallback);
    // Set by the caller or typed at an earlier prompt of this archive.
    if (!password.empty()) archive_read_add_passphrase(a, password.c_str());
    archive_read_set_read_callback(a, ReadCallback);
    archive_read_set_seek_callback(a, SeekCallback);
    archive_read_set_callback_data(a, &ctx);
    if (archive_read_open1(a) != ARCHIVE_OK) ThrowReadFailure(a, ctx);
    return handle;
  }

  // The next header; false at the end. Throws when the archive cannot be read on.
  bool NextHeader(archive* a, const TReadContext& ctx, archive_entry** e) {
    const int r = archive_read_next_header(a, e);
    if (r == ARCHIVE_EOF) return false;
    if (r < ARCHIVE_WARN) ThrowReadFailure(a, ctx);
    return true;
  }

  // Reads `n` bytes at an offset of the archive, across its volumes.
  TZipByteSource ArchiveBytes() {
    return [this](std::uint64_t offset, void* buffer, size_t n) {
      auto* p = static_cast<std::uint8_t*>(buffer);
      while (n > 0) {
        const size_t got = reader->ReadAt(offset, p, n, *helper);
        if (got == 0) return false;
        p += got;
        offset += got;
        n -= got;
      }
      return true;
    };
  }

  // The directory in archive order (the order libarchive reads it in); null when it cannot be
  // read directly.
  const std::vector<TZipDirectoryEntry>* Ordered() {
    if (direct) return &*direct;  // its offsets rise
    if (!orderedRead) {
      orderedRead = true;
      if (auto list = ReadZipDirectory(ArchiveBytes(), reader->Size(), kMaxDirectoryBytes))
        ordered = InArchiveOrder(std::move(*list));
    }
    return ordered ? &*ordered : nullptr;
  }

  // Whether the `index`th header of a pass over the whole archive is the directory's entry at
  // `index`: it has that name, or (`name` null: its header could not be read) the header
  // before it, `before`, has the name of the entry before.
  bool SamePlace(size_t index, const std::string* name, const std::string& before) {
    const auto* list = Ordered();
    if (!list || index >= list->size()) return false;
    if (name) return NormalizeStoredName((*list)[index].rawName) == *name;
    return index == 0 || NormalizeStoredName((*list)[index - 1].rawName) == before;
  }

  // Reads the entry headers through libarchive in archive order and calls `each` with each
  // entry's place among the archive's entries: all of them, or those at `indices` (ascending
  // places in Ordered()). Where libarchive cannot read on, past a header it cannot read (given
  // to `damaged`) or an entry `each` answers Broken for, it reads again from a view of the
  // entries after that one. False when `each` answered Cancelled.
  bool Walk(const std::vector<size_t>* indices, const TEachHeader& each,
            const std::function<void(size_t)>& damaged) {
    bool whole = !indices;        // libarchive reads the archive itself
    std::vector<size_t> pending;  // otherwise the entries still to read
    if (indices) pending = *indices;
    for (;;) {
      std::optional<TZipArchiveView> view;
      if (!whole) {
        if (pending.empty()) return true;
        const auto* list = Ordered();
        const size_t n = std::min(pending.size(), kViewEntries);
        if (list)
          view = MakeZipArchiveView(*list, {pending.begin(), pending.begin() + n}, ArchiveBytes());
        if (!view) throw EZipError("The directory of the archive " + path + " cannot be read.");
      }
      TReadContext ctx;
      ctx.view = view ? &*view : nullptr;
      TReadHandle handle = OpenRead(ctx);
      archive* a = handle.get();
      std::optional<size_t> brokenAt;
      std::string before;  // the name of the header read last
      for (size_t at = 0; !view || at < view->indices.size(); ++at) {
        if (helper->AbortQuery()) return false;
        archive_entry* e = nullptr;
        const int r = archive_read_next_header(a, &e);
        if (r == ARCHIVE_EOF) break;
        const size_t index = view ? view->indices[at] : at;
        if (r < ARCHIVE_WARN) {
          if (ctx.error || (whole && !SamePlace(index, nullptr, before))) ThrowReadFailure(a, ctx);
          damaged(index);
          brokenAt = index;
          break;
        }
        const TStep step = each(a, ctx, e, index);
        if (step == TStep::Cancelled) return false;
        const std::string name = EntryName(e).value_or(std::string());
        if (step == TStep::Broken) {
          if (whole && !SamePlace(index, &name, before)) ThrowReadFailure(a, ctx);
          brokenAt = index;
          break;
        }
        before = name;
      }
      if (brokenAt && whole) {
        whole = false;
        for (size_t i = *brokenAt + 1; i < Ordered()->size(); ++i) pending.push_back(i);
      } else if (brokenAt) {
        pending.erase(pending.begin(), std::upper_bound(pending.begin(), pending.end(), *brokenAt));
      } else if (whole) {
        return true;
      } else {
        pending.erase(pending.begin(),
                      pending.begin() + static_cast<std::ptrdiff_t>(view->indices.size()));
      }
    }
  }

  void LoadDirectory() {
    // An entry whose header cannot be read is left out; a restore that wants it reports it.
    const bool listed = Walk(
        nullptr,
        [&](archive*, TReadContext&, archive_entry* e, size_t index) {
          const auto name = EntryName(e);
          if (!name || IsFolderEntry(e, name) || archive_entry_filetype(e) != AE_IFREG)
            return TStep::Done;
          TZipEntry entry;
          entry.storedName = *name;
          entry.size =
              archive_entry_size_is_set(e) ? static_cast<std::uint64_t>(archive_entry_size(e)) : 0;
          entry.mtimeSec = archive_entry_mtime(e);
          entry.mtimeNsec = static_cast<std::int32_t>(archive_entry_mtime_nsec(e));
          entry.encrypted = archive_entry_is_data_encrypted(e) > 0;
          entry.definition = index == 0 && *name == kDefinitionEntryName;
          entries.push_back(std::move(entry));
          return TStep::Done;
        },
        [](size_t) {});
    if (!listed) throw EZipCancelled();
  }

  std::optional<std::vector<std::uint8_t>> ReadDefinition() {
    TReadContext ctx;
    TReadHandle handle = OpenRead(ctx);
    archive* a = handle.get();
    archive_entry* e = nullptr;
    if (!NextHeader(a, ctx, &e)) return std::nullopt;
    const auto name = EntryName(e);
    if (!name || *name != kDefinitionEntryName || archive_entry_filetype(e) != AE_IFREG)
      return std::nullopt;
    std::vector<std::uint8_t> data;
    for (;;) {
      const void* block = nullptr;
      size_t length = 0;
      la_int64_t offset = 0;
      const int r = archive_read_data_block(a, &block, &length, &offset);
      if (r == ARCHIVE_EOF) break;
      if (r != ARCHIVE_OK) {
        if (ctx.error) std::rethrow_exception(ctx.error);
        throw EZipError("The project definition in " + path + " cannot be read: " + ErrorText(a));
      }
      if (offset != static_cast<la_int64_t>(data.size()) ||
          data.size() + length > kMaxDefinitionSize)
        throw EZipError("The project definition in " + path + " is damaged.");
      const auto* bytes = static_cast<const std::uint8_t*>(block);
      data.insert(data.end(), bytes, bytes + length);
    }
    return data;
  }

  // The folder of the entries restored last, which an archive's next entries mostly share.
  struct TFolderState {
    std::string folder;
    bool created = false;                     // by this run: it holds only what the run put there
    std::unordered_set<std::string> targets;  // put there so far
  };

  // Whether the entry may be written to its target: not over a folder, an existing file only
  // when the user agrees, its folder made. False (and reported, unless declined) when not.
  // With `state`, the folder of the entry before is not looked at again, and a file in a folder
  // this run has just made is not looked for (unless an entry before had its name): a lookup
  // of a name not yet there waits for the workers creating files in that folder.
  bool PrepareTarget(const std::string& name, const std::string& target,
                     TFolderState* state = nullptr) {
    const std::string cannot = "Entry \"" + name + "\" cannot be restored to " + target + ": ";
    std::string folder = fs::ParentFolder(target);
    const bool known = state && state->folder == folder;
    if (!(known && state->created && !state->targets.count(target))) {
      if (const auto existing = fs::Stat(target)) {
        if (existing->type == fs::EntryType::Directory) {
          ItemFailed(name, cannot + "a folder of that name exists.");
          return false;
        }
        if (!helper->ConfirmOverwrite(target)) return false;
      }
    }
    if (!known) {
      const bool existed = state && fs::IsDirectory(folder);
      if (!existed && !fs::CreateDirectories(folder)) {
        ItemFailed(name, cannot + "the folder cannot be created.");
        return false;
      }
      if (state) {
        state->folder = std::move(folder);
        state->created = !existed;
        state->targets.clear();
      }
    }
    if (state && state->created) state->targets.insert(target);
    return true;
  }

  // ---- reading on the workers ----

  static bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  }

  // An entry the workers restore as libarchive would: a plain file or folder of a Unix-made
  // archive, stored or deflated, at most traditionally encrypted, its name plain.
  static bool DirectEntryOk(const TZipDirectoryEntry& d) {
    constexpr std::uint16_t kKnownFlags =
        kZipFlagEncrypted | 0x0006 | kZipFlagSizesFollow | kZipFlagUtf8;
    if ((d.madeBy >> 8) != 3 || (d.flags & ~kKnownFlags) != 0) return false;
    if (d.method != kZipMethodStore && d.method != kZipMethodDeflate) return false;
    const std::uint32_t type = (d.externalAttributes >> 16) & 0170000;
    if (type != 0 && type != 0100000 && type != 0040000) return false;
    if (d.rawName.empty() || d.rawName.find('\0') != std::string::npos) return false;
    if (!(d.flags & kZipFlagUtf8) && !IsAscii(d.rawName)) return false;
    return true;
  }

  static bool DirectIsFolder(const TZipDirectoryEntry& d) {
    return ((d.externalAttributes >> 16) & 0170000) == 0040000 ||
           IsFolderEntryName(NormalizeStoredName(d.rawName));
  }

  // The directory read directly, when the archive is one file and every entry is one the
  // workers take; it then lists the entries as libarchive would. False otherwise.
  bool LoadDirect() {
    const int fd = reader->SingleFileDescriptor();
    if (fd < 0) return false;
    const std::uint64_t size = reader->Size();
    const TZipByteSource read = [fd](std::uint64_t offset, void* buffer, size_t n) {
      auto* p = static_cast<std::uint8_t*>(buffer);
      while (n > 0) {
        const ssize_t got = pread(fd, p, n, static_cast<off_t>(offset));
        if (got <= 0) return false;
        p += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<size_t>(got);
      }
      return true;
    };
    auto list = ReadZipDirectory(read, size, kMaxDirectoryBytes);
    if (!list) return false;
    std::vector<TZipEntry> files;
    std::uint64_t lastOffset = 0;
    for (size_t i = 0; i < list->size(); ++i) {
      const TZipDirectoryEntry& d = (*list)[i];
      if (!DirectEntryOk(d) || (i > 0 && d.localOffset <= lastOffset)) return false;
      lastOffset = d.localOffset;
      if (DirectIsFolder(d)) continue;
      TZipEntry entry;
      entry.storedName = NormalizeStoredName(d.rawName);
      entry.size = d.size;
      entry.mtimeSec = d.mtime ? *d.mtime : platform::shell::UnixFromDosTime(d.dosTime);
      entry.encrypted = (d.flags & kZipFlagEncrypted) != 0;
      entry.definition = i == 0 && entry.storedName == kDefinitionEntryName;
      files.push_back(std::move(entry));
    }
    entries = std::move(files);
    direct = std::move(list);
    return true;
  }

  // The entries of `chosen` (all when null) restored on a pool of workers; the questions,
  // the progress and the reports stay on this thread, in archive order. An entry whose data
  // does not read back as expected goes through libarchive afterwards, which says why.
  bool ExtractDirect(const std::set<std::string>* chosen) {
    failed.clear();
    const int fd = reader->SingleFileDescriptor();
    const std::uint64_t archiveSize = reader->Size();
    TFolderState folderState;
    std::atomic<bool> stop{false};
    struct TStopGuard {
      std::atomic<bool>& stop;
      ~TStopGuard() { stop = true; }
    } stopGuard{stop};
    TWorkPool pool;
    // Far enough ahead that the workers create files a few folders past the one this thread
    // renames in: both take the folder's lock. Waiting jobs hold only their finished files.
    const size_t limit = pool.Workers() * 8 + 2;
    std::deque<std::shared_ptr<TZipExtractJob>> pending;
    std::set<std::string> inFlight;  // targets being written
    struct TRetry {
      size_t index;
      std::string name, target;
    };
    std::vector<TRetry> retries;

    auto takeFront = [&]() -> bool {  // false when cancelled
      const auto job = pending.front();
      while (!pool.WaitFor(*job, kCancelPoll))
        if (helper->AbortQuery()) return false;
      pending.pop_front();
      inFlight.erase(job->target);
      if (job->timeNotSet) LogError("The time of " + job->target + " cannot be restored.");
      switch (job->result) {
        case TZipExtractJob::TResult::Done: {
          // The progress as a reader of this entry would show it; a cancel before the file
          // is put in place leaves its target as it was.
          const std::uint64_t size = job->entry.size;
          ProgressStatus = job->target;  // the decisions ahead moved it on
          for (std::uint64_t done = 0;;) {
            done = std::min(size, done + kProgressStep);
            if (helper->ArchiveItemProgress(size ? static_cast<int>(done * 100 / size) : 100))
              return false;
            if (done == size) break;
          }
          if (!job->PutInPlace()) ItemFailed(job->name, job->message);
          return true;
        }
        case TZipExtractJob::TResult::Failed:
          ItemFailed(job->name, job->message);
          return true;
        case TZipExtractJob::TResult::Retry:
          retries.push_back({job->index, job->name, job->target});
          return true;
        case TZipExtractJob::TResult::Cancelled:
          return false;
      }
      return true;
    };
    std::set<std::string> found;
    const std::vector<TZipDirectoryEntry>& list = *direct;
    for (size_t index = 0; index < list.size(); ++index) {
      if (helper->AbortQuery()) return false;
      const TZipDirectoryEntry& d = list[index];
      const std::string name = NormalizeStoredName(d.rawName);
      if (chosen) {
        if (!chosen->count(name)) continue;
        found.insert(name);
      }
      if (DirectIsFolder(d)) continue;
      const bool isDefinition = index == 0 && name == kDefinitionEntryName;
      const TExtractDecision decision = helper->ExtractItem(name, isDefinition, baseFolder);
      if (!decision.extract) {
        if (!decision.refusal.empty()) ItemFailed(name, decision.refusal);
        continue;
      }
      // Two entries for one file: the first is in place before the second is asked about.
      while (inFlight.count(decision.target) && !pending.empty()) {
        if (!takeFront()) return false;
      }
      if (!PrepareTarget(name, decision.target, &folderState)) continue;
      auto job = std::make_shared<TZipExtractJob>();
      job->index = index;
      job->archiveFd = fd;
      job->entry = d;
      job->archiveSize = archiveSize;
      if (restoredModes) {
        const auto mode = restoredModes->find(decision.target);
        if (mode != restoredModes->end()) job->mode = mode->second;
      }
      job->name = name;
      job->target = decision.target;
      job->password = password;
      job->stop = &stop;
      inFlight.insert(job->target);
      pool.Submit(job);
      pending.push_back(std::move(job));
      while (pending.size() >= limit) {
        if (!takeFront()) return false;
      }
    }
    while (!pending.empty()) {
      if (!takeFront()) return false;
    }
    if (!retries.empty() && !ExtractAgain(retries)) return false;
    if (chosen)
      for (const std::string& name : *chosen)
        if (!found.count(name))
          ItemFailed(name, "Entry \"" + name + "\" is not in the archive " + path + ".");
    return true;
  }

  // The entries the workers left, through libarchive, to their targets chosen before.
  template <typename TRetryList>
  bool ExtractAgain(const TRetryList& retries) {
    std::map<size_t, std::pair<std::string, std::string>> byIndex;
    for (const auto& r : retries) byIndex[r.index] = {r.name, r.target};
    std::vector<size_t> indices;
    for (const auto& [index, entry] : byIndex) indices.push_back(index);
    const bool finished = Walk(
        &indices,
        [&](archive* a, TReadContext& ctx, archive_entry* e, size_t index) {
          const auto it = byIndex.find(index);
          if (it == byIndex.end()) return TStep::Done;
          const auto [name, target] = it->second;
          byIndex.erase(it);
          return ExtractEntry(a, ctx, e, name, target, true);
        },
        [&](size_t index) {
          const auto it = byIndex.find(index);
          if (it == byIndex.end()) return;
          const auto& [name, target] = it->second;
          ItemFailed(name, "Entry \"" + name + "\" cannot be restored to " + target +
                               ": its header in the archive is damaged.");
          byIndex.erase(it);
        });
    if (!finished) return false;
    for (const auto& [index, entry] : byIndex)
      ItemFailed(entry.first, "Entry \"" + entry.first + "\" cannot be restored to " +
                                  entry.second + ": its data is damaged.");
    return true;
  }

  // Extracts every entry, or those named in `chosen`; false when cancelled.
  bool ExtractEntries(const std::set<std::string>* chosen) {
    if (direct && DirectPasswordOk(chosen)) return ExtractDirect(chosen);
    failed.clear();
    std::set<std::string> found;
    const auto each = [&](archive* a, TReadContext& ctx, archive_entry* e, size_t index) {
      const auto name = EntryName(e);
      if (!name) {
        if (!chosen) ItemFailed({}, "An entry name in the archive " + path + " cannot be read.");
        return TStep::Done;
      }
      if (chosen) {
        if (!chosen->count(*name)) return TStep::Done;
        found.insert(*name);
      }
      if (IsFolderEntry(e, name)) return TStep::Done;
      if (archive_entry_filetype(e) != AE_IFREG) {
        ItemFailed(*name, "Entry \"" + *name + "\" is not restored: it is not a regular file.");
        return TStep::Done;
      }
      const bool isDefinition = index == 0 && *name == kDefinitionEntryName;
      const TExtractDecision decision = helper->ExtractItem(*name, isDefinition, baseFolder);
      if (!decision.extract) {
        if (!decision.refusal.empty()) ItemFailed(*name, decision.refusal);
        return TStep::Done;
      }
      return ExtractEntry(a, ctx, e, *name, decision.target);
    };
    const auto damaged = [&](size_t index) {
      const TZipDirectoryEntry& d = (*Ordered())[index];
      const std::string name = NormalizeStoredName(d.rawName);
      if (chosen) {
        if (!chosen->count(name)) return;
        found.insert(name);
      }
      if (DirectIsFolder(d) || (index == 0 && name == kDefinitionEntryName)) return;
      ItemFailed(
          name, "Entry \"" + name + "\" cannot be restored: its header in the archive is damaged.");
    };
    if (!Walk(nullptr, each, damaged)) return false;
    if (chosen)
      for (const std::string& name : *chosen)
        if (!found.count(name))
          ItemFailed(name, "Entry \"" + name + "\" is not in the archive " + path + ".");
    return true;
  }

  // The workers take encrypted entries only with a password that fits the first of them;
  // otherwise libarchive asks for one as it reads.
  bool DirectPasswordOk(const std::set<std::string>* chosen) const {
    for (const TZipDirectoryEntry& d : *direct) {
      if (!(d.flags & kZipFlagEncrypted)) continue;
      if (chosen && !chosen->count(NormalizeStoredName(d.rawName))) continue;
      if (password.empty() || d.compressedSize < kZipCryptHeaderSize) return false;
      const int fd = reader->SingleFileDescriptor();
      const TZipByteSource read = [fd](std::uint64_t offset, void* buffer, size_t n) {
        return pread(fd, buffer, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
      };
      const auto at = ZipDataOffset(read, reader->Size(), d);
      std::uint8_t header[kZipCryptHeaderSize];
      if (!at || !read(*at, header, sizeof header)) return false;
      TZipCryptKeys keys(password);
      return keys.TakeHeader(
          header,
          static_cast<std::uint8_t>(d.flags & kZipFlagSizesFollow ? d.dosTime >> 8 : d.crc >> 24));
    }
    return true;
  }

  // The entry goes to a temporary file beside the target, which replaces the target only when
  // it is complete: an existing file is never removed first.
  // `prepared`: the target was checked and the overwrite question answered before.
  TStep ExtractEntry(archive* a, TReadContext& ctx, archive_entry* e, const std::string& name,
                     const std::string& target, bool prepared = false) {
    const std::string cannot = "Entry \"" + name + "\" cannot be restored to " + target + ": ";
    if (!prepared && !PrepareTarget(name, target)) return TStep::Done;
    const std::string folder = fs::ParentFolder(target);
    std::optional<TTempFile> temp;
    try {
      temp.emplace(platform::shell::CreateTempFileName(folder, "QVR"));
      fs::File out(temp->Path(), fs::OpenMode::CreateAlways, fs::Share::Exclusive);
      const std::uint64_t size =
          archive_entry_size_is_set(e) ? static_cast<std::uint64_t>(archive_entry_size(e)) : 0;
      std::uint64_t done = 0;
      for (;;) {
        const void* block = nullptr;
        size_t length = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(a, &block, &length, &offset);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK) {
          if (ctx.error) std::rethrow_exception(ctx.error);  // the volumes, not this entry
          ItemFailed(name, cannot + ErrorText(a));
          return r == ARCHIVE_FATAL ? TStep::Broken : TStep::Done;
        }
        if (offset != static_cast<la_int64_t>(done)) {
          ItemFailed(name, cannot + "its data is damaged.");
          return TStep::Done;
        }
        out.Write(block, length);
        done += length;
        const int percent =
            size > 0 ? static_cast<int>(std::min<std::uint64_t>(done, size) * 100 / size) : 100;
        if (helper->ArchiveItemProgress(percent)) return TStep::Cancelled;
      }
      if (done == 0 && helper->ArchiveItemProgress(100)) return TStep::Cancelled;
      out.Close();
    } catch (const fs::FsError& e) {
      ItemFailed(name, cannot + e.what());
      return TStep::Done;
    }
    if (!fs::SetModificationTime(temp->Path(), archive_entry_mtime(e),
                                 static_cast<std::int32_t>(archive_entry_mtime_nsec(e))))
      LogError("The time of " + target + " cannot be restored.");
    if (!fs::RenameReplace(temp->Path(), target)) {
      ItemFailed(name, cannot + "the restored file cannot be put in place.");
      return TStep::Done;
    }
    temp->Release();
    return TStep::Done;
  }
};

// ---------------------------------------------------------------------------------------------

TZip::TZip() : impl_(std::make_unique<TImpl>()) {
  ZipErrorText = "";
}

TZip::~TZip() = default;

void TZip::CreateForWrite(std::string_view path, TLeftoverNotice notice) {
  impl_->Reset();
  impl_->writeMode = true;
  impl_->helper->writeMode = true;
  impl_->path = std::string(path);
  impl_->writer = std::make_unique<TSliceWriter>(impl_->path, 0, std::move(notice));
}

void TZip::OpenForExtract(std::string_view path) {
  TUtf8NamesScope names;
  impl_->Reset();
  impl_->writeMode = false;
  impl_->helper->writeMode = false;
  impl_->path = std::string(path);
  impl_->reader = std::make_unique<TSliceReader>(impl_->path, *impl_->helper);
  try {
    if (!impl_->LoadDirect()) impl_->LoadDirectory();
  } catch (...) {
    impl_->Reset();
    throw;
  }
}

void TZip::AttachHelper(THelper* helper) {
  THelper* next = helper ? helper : &impl_->ownHelper;
  // Volumes chosen while opening, before a helper was attached, belong to the run's list.
  if (impl_->helper == &impl_->ownHelper && next != impl_->helper) {
    next->volumeNames.insert(next->volumeNames.end(), impl_->ownHelper.volumeNames.begin(),
                             impl_->ownHelper.volumeNames.end());
    impl_->ownHelper.volumeNames.clear();
  }
  impl_->helper = next;
  impl_->helper->writeMode = impl_->writeMode;
}

void TZip::SetOverwriteMode(std::uint8_t mode) {
  impl_->helper->overwriteMode = mode;
}

bool TZip::WriteMode() const {
  return impl_->writeMode;
}

void TZip::SetCompression(bool compress, int compressionLevel) {
  impl_->compress = compress;
  impl_->compressionLevel = compressionLevel;
}

void TZip::SetPassword(bool usePassword, std::string_view password) {
  impl_->usePassword = usePassword;
  impl_->password = usePassword ? std::string(password) : std::string();
}

void TZip::SetVolumeSize(std::uint64_t bytes) {
  impl_->volumeSize = bytes;
}

void TZip::AddDefinition(std::string_view path) {
  if (!impl_->writer) throw EZipError("No archive is open for writing.");
  impl_->definition = TImpl::TItem{std::string(kDefinitionEntryName), std::string(path), true};
}

TZipSource* TZip::TImpl::AddItem(std::string_view path) {
  if (!writer) throw EZipError("No archive is open for writing.");
  auto stored = StoredNameForFile(path);
  if (!stored) {
    ItemFailed(std::string(path), std::string(path) + ": the file has no absolute path.");
    return nullptr;
  }
  // The same stored name is the same path: nothing to replace.
  if (itemByName.count(*stored)) return nullptr;
  items.push_back({std::move(*stored), {}, false});
  itemByName.emplace(items.back().stored, items.size() - 1);
  return &items.back();
}

void TZip::AddFile(std::string_view path) {
  impl_->AddItem(path);
}

void TZip::AddFile(std::string_view path, std::uint64_t size, std::int64_t mtimeSec) {
  if (TZipSource* item = impl_->AddItem(path)) {
    item->seen = true;
    item->size = size;
    item->mtimeSec = mtimeSec;
  }
}

bool TZip::Execute() {
  TUtf8NamesScope names;
  if (impl_->writeMode) return impl_->ExecuteWrite();
  try {
    return impl_->ExtractEntries(nullptr);
  } catch (const EZipCancelled&) {
    return false;  // a volume request was cancelled
  }
}

const std::vector<TZipEntry>& TZip::Entries() const {
  return impl_->entries;
}

std::optional<std::vector<std::uint8_t>> TZip::ReadDefinition() {
  TUtf8NamesScope names;
  return impl_->ReadDefinition();
}

void TZip::SetBaseFolder(std::string_view folder) {
  impl_->baseFolder = std::string(folder);
}

void TZip::SetRestoredModes(const std::unordered_map<std::string, std::uint32_t>* modes) {
  impl_->restoredModes = modes;
}

bool TZip::Extract(const std::vector<std::string>& storedNames) {
  TUtf8NamesScope names;
  std::set<std::string> chosen;
  for (const std::string& name : storedNames) chosen.insert(NormalizeStoredName(name));
  try {
    return impl_->ExtractEntries(&chosen);
  } catch (const EZipCancelled&) {
    return false;
  }
}

const std::vector<std::string>& TZip::FailedItems() const {
  return impl_->failed;
}
