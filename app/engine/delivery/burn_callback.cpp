#include "app/engine/delivery/burn_callback.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/debug/debug.h"

std::atomic<std::int32_t> SamplesCallbackCallsIn{0};
std::atomic<std::int32_t> SamplesCallbackCallsOut{0};
std::atomic<std::int64_t> LastWritePercent{0};
std::atomic<std::int64_t> LastGrabPercent{0};

namespace {

std::atomic<std::int32_t> collisionCounter{1};

std::mutex& NameMutex() {
  static std::mutex m;
  return m;
}
std::string& ModuleName() {
  static std::string name;
  return name;
}

// Writes to standard output; `endLine` false lets the next output continue the line.
void Out(const std::string& text, bool endLine = true) {
  std::fputs(text.c_str(), stdout);
  if (endLine) std::fputc('\n', stdout);
  std::fflush(stdout);
}

template <class... A>
std::string Format(const char* format, A... args) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

template <class T>
T ValueAt(const void* p) {
  T v{};
  if (p) std::memcpy(&v, p, sizeof v);
  return v;
}

// Steps shared by both renames: pad to two characters, then the start of the tail (the full
// stop of an extension within five positions, else the version suffix, else the end).
template <class C>
std::size_t TailStart(std::basic_string<C>& s) {
  while (s.size() < 2) s.push_back(C('0'));
  std::size_t p = s.size();
  if (s[p - 2] == C(';')) p -= 2;
  for (std::size_t k = 0; k <= 4 && k <= p; ++k) {
    if (p - k < s.size() && s[p - k] == C('.')) return p - k;
  }
  return p;
}

std::string Utf16ToUtf8(const std::u16string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool ForbiddenInJoliet(char16_t c) {
  return c <= 32 || c == u'*' || c == u'/' || c == u':' || c == u';' || c == u'?' || c == u'\\' ||
         c == u'.';
}

void TraceNameEvent(const char* verb, void* context, void* first) {
  const char* name = first ? static_cast<const char*>(first) : "";
  const std::int32_t nodes = ValueAt<std::int32_t>(context);
  Out(Format("%s:SamplesCallback(): %s name \"%s\", tree node(s) %d", TraceModuleName().c_str(),
             verb, name, nodes));
}

void TracePercent(std::atomic<std::int64_t>& last, void* first, void* second) {
  const std::int64_t total = ValueAt<std::int64_t>(first);
  if (total == 0) return;
  const std::int64_t percent = ValueAt<std::int64_t>(second) * 100 / total;
  if (last.exchange(percent) != percent) Out(Format("%" PRId64 "%% ", percent), false);
}

}  // namespace

void InitializeSamplesTools(std::string_view programPath) {
  collisionCounter = 1;
  SamplesCallbackCallsIn = 0;
  SamplesCallbackCallsOut = 0;
  std::string name(programPath);
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  std::lock_guard lock(NameMutex());
  ModuleName() = name;
}

void FinalizeSamplesTools() {
  const std::string line = Format("%s:SampelsTools.Finalization: SamplesCallBack In=%d Out=%d",
                                  TraceModuleName().c_str(), SamplesCallbackCallsIn.load(),
                                  SamplesCallbackCallsOut.load());
  platform::debug::OutputDebugString(line.c_str());
}

std::string TraceModuleName() {
  std::lock_guard lock(NameMutex());
  return ModuleName();
}

bool MakeUniqueIsoName(char* name, std::size_t capacity) {
  if (!name || capacity < 2) return false;
  std::string s(name, strnlen(name, capacity - 1));
  const std::string old = s;
  std::size_t p = TailStart(s);
  const std::string tail = s.substr(p, 10);
  if (p > 8) p = 7;
  std::string result = s.substr(0, p) + std::to_string(collisionCounter++) + tail;
  if (result.size() + 1 > capacity || result == old) return false;
  std::memcpy(name, result.c_str(), result.size() + 1);
  return true;
}

bool MakeUniqueJolietName(char16_t* name, std::size_t capacity) {
  if (!name || capacity < 2) return false;
  std::u16string s;
  while (s.size() + 1 < capacity && name[s.size()]) s.push_back(name[s.size()]);
  const std::u16string old = s;
  const std::size_t p = TailStart(s);
  std::u16string tail = s.substr(p);

  char when[64];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  std::u16string head = s.substr(0, p) + u"_";
  for (const char* c = when; *c; ++c) head.push_back(static_cast<char16_t>(*c));
  for (char16_t& c : head)
    if (ForbiddenInJoliet(c)) c = u'_';
  // The extension's own dot and a version suffix stay; other forbidden characters go.
  const std::size_t version =
      tail.size() >= 2 && tail[tail.size() - 2] == u';' ? tail.size() - 2 : tail.size();
  for (std::size_t i = tail.empty() || tail[0] != u'.' ? 0 : 1; i < version; ++i)
    if (ForbiddenInJoliet(tail[i])) tail[i] = u'_';

  // A name too long for the buffer loses characters of its base, never of its tail.
  if (head.size() + tail.size() + 1 > capacity) {
    if (tail.size() + 2 > capacity) return false;
    head.resize(capacity - 1 - tail.size());
  }
  const std::u16string result = head + tail;
  if (result == old) return false;
  std::memcpy(name, result.c_str(), (result.size() + 1) * sizeof(char16_t));
  return true;
}

void AnswerNameCollision(HALVORIN_NAME_COLLISION_RECORD* record, std::string* before,
                         std::string* after) {
  if (!record) return;
  unsigned char* id = record->m__UCHAR__Identifier;
  const std::size_t size = sizeof record->m__UCHAR__Identifier;
  bool renamed = false;
  if (record->m__UCHAR__NameKind != HALVORIN_COLLISION_KIND_ISO9660) {
    // The identifier holds UTF-16 little-endian at an odd offset: work on an aligned copy.
    std::vector<char16_t> units(size / 2 + 1, 0);
    for (std::size_t i = 0; i + 1 < size; i += 2) units[i / 2] = char16_t(id[i] | id[i + 1] << 8);
    if (before) before->assign(Utf16ToUtf8(units.data()));
    renamed = MakeUniqueJolietName(units.data(), size / 2);
    if (renamed) {
      std::memset(id, 0, size);
      for (std::size_t i = 0; i < size / 2 && units[i]; ++i) {
        id[2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
        id[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
      }
    }
    if (after) after->assign(Utf16ToUtf8(units.data()));
  } else {
    char* text = reinterpret_cast<char*>(id);
    if (before) before->assign(text, strnlen(text, size));
    renamed = MakeUniqueIsoName(text, size);
    if (after) after->assign(text, strnlen(text, size));
  }
  // Answer 2 only with a new name: the same name would collide again.
  if (renamed) {
    const std::uint32_t answer = HALVORIN_COLLISION_RENAME;
    std::memcpy(&record->m__ULONG__Answer, &answer, sizeof answer);
  }
}

void SamplesCallback(std::uint32_t reason, void* context, void* first, void* second) {
  ++SamplesCallbackCallsIn;
  const std::string name = TraceModuleName();
  const char* n = name.c_str();
  switch (reason) {
    case 0:
      TraceNameEvent("Adding", context, first);
      if (context) ++*static_cast<std::int32_t*>(context);
      break;
    case 1:
      TraceNameEvent("Removing", context, first);
      if (context) --*static_cast<std::int32_t*>(context);
      break;
    case 2:
      TraceNameEvent("Ignoring", context, first);
      break;
    case 3: {
      auto* record = static_cast<HALVORIN_NAME_COLLISION_RECORD*>(first);
      if (!record) break;
      const bool joliet = record->m__UCHAR__NameKind != HALVORIN_COLLISION_KIND_ISO9660;
      std::string before, after;
      Out(name + ":SamplesCallback: Name collision for ", false);
      AnswerNameCollision(record, &before, &after);
      if (joliet)
        Out("Joliet : <" + before + "> -> <" + after + ">");
      else
        Out("ISO9660 : <" + before + "> -> " + after);
      break;
    }
    case 4:
      Out(name + ":SamplesCallback(): TARGET_FILE_ANALYZE_BEGIN");
      break;
    case 5:
      Out(Format("%s:SamplesCallback(): Target file size in UCHARs %" PRId64 ", LBs %" PRId64, n,
                 ValueAt<std::int64_t>(first), ValueAt<std::int64_t>(second)));
      Out(name + ":SamplesCallback(): TARGET_FILE_ANALYZE_END");
      break;
    case 6:
      Out(name + ":SamplesCallback(): WAIT_CACHE_FULL_BEGIN");
      Out(Format("%s:SamplesCallback(): Waiting for cache full not more then %d ms... ", n,
                 ValueAt<std::int32_t>(first)));
      break;
    case 7:
      Out("Ok!");
      Out(name + ":SamplesCallback(): WAIT_CACHE_FULL_END");
      break;
    case 8:
      Out(name + ":SamplesCallback(): SYNCHRONIZE_CACHE_BEGIN");
      break;
    case 9:
      Out(name + ":SamplesCallback(): SYNCHRONIZE_CACHE_END");
      break;
    case 11:
      TracePercent(LastGrabPercent, first, second);
      break;
    case 12:
      TracePercent(LastWritePercent, first, second);
      break;
    case 13: {
      const std::int32_t total = ValueAt<std::int32_t>(first);
      const std::int32_t free = ValueAt<std::int32_t>(second);
      if (total != 0)
        Out(Format("[ Buffer full: %d%%, %d free from %d ] ",
                   static_cast<int>(100 - std::int64_t(free) * 100 / total), free, total));
      break;
    }
    case 14:
    case 16:
      Out(name + ":SamplesCallbak: " +
          Format(reason == 14 ? "Processing track %d from %d, completed: "
                              : "Processing split section %d from %d, completed: ",
                 ValueAt<std::int32_t>(first), ValueAt<std::int32_t>(second)));
      break;
    case 15:
    case 17:
      Out("OK!");
      break;
    case 21:
      Out(name + ":SamplesCallback(): DVDPLUSRW_FORMAT_BEGIN");
      break;
    case 22:
      Out(name + ":SamplesCallback(): DVDPLUSRW_FORMAT_END");
      break;
    case 26:
      Out(Format("%s:SamplesCallback(): Target file size in LBs %" PRId64
                 ", track padding size in LBs %d",
                 n, ValueAt<std::int64_t>(first), ValueAt<std::int32_t>(second)));
      Out(name + ":SamplesCallback(): DVD_MEDIA_PADDING_SIZE");
      break;
    case 27:
      Out(name + ":SamplesCallback(): DVD_MEDIA_PADDING_BEGIN");
      break;
    case 28:
      Out(name + ":SamplesCallback(): DVD_MEDIA_PADDING_END");
      break;
    default:
      break;
  }
  ++SamplesCallbackCallsOut;
}
