// The helper library's two exports. Each returns a zero-terminated text that the library
// owns: it stays valid until the calling thread's next call, or until the library is unloaded,
// which frees every result.
#include <list>
#include <mutex>
#include <string>

#include "platform/sorvane/helper/scrambling.h"

namespace {

struct Results {
  std::mutex lock;
  std::list<std::string> perThread;  // a list: elements never move
};

Results& AllResults() {
  static Results results;  // destroyed when the library is unloaded
  return results;
}

// Trivially destructible, so it does not keep the library loaded after a thread ends.
thread_local std::string* t_result = nullptr;

const char* Keep(std::string text) {
  if (!t_result) {
    Results& all = AllResults();
    std::lock_guard guard(all.lock);
    t_result = &all.perThread.emplace_back();
  }
  *t_result = std::move(text);
  return t_result->c_str();
}

const char* Text(const char* s) {
  return s ? s : "";
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* Fun1(const char* key, const char* text) {
  try {
    return Keep(sorvane::Scramble(Text(key), Text(text)));
  } catch (...) {
    return "";
  }
}

__attribute__((visibility("default"))) const char* Fun2(const char* key, const char* text) {
  try {
    return Keep(sorvane::Unscramble(Text(key), Text(text)).value_or(std::string()));
  } catch (...) {
    return "";
  }
}

}  // extern "C"
