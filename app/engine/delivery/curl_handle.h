// RAII for libcurl: the process-wide set-up, easy handles and string lists, and the trace of
// the server's replies that failure messages quote.
#pragma once

#include <curl/curl.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

// curl_global_init, once per process and thread-safe; called by every TCurlHandle.
void EnsureCurlGlobalInit();

// One easy handle with its error buffer and a record of the last complete reply the server
// sent on the control connection. Pinned in memory: libcurl keeps pointers into it.
class TCurlHandle {
 public:
  TCurlHandle();  // throws std::bad_alloc when libcurl cannot make a handle
  TCurlHandle(const TCurlHandle&) = delete;
  TCurlHandle& operator=(const TCurlHandle&) = delete;

  CURL* get() const { return handle_.get(); }

  // Clears the error buffer and the reply record; call before each perform.
  void ResetTrace();
  int LastReplyCode() const { return lastReplyCode_; }
  const std::string& LastReply() const { return lastReply_; }
  // Why a perform failed: the server's rejecting reply when there is one, else libcurl's text.
  std::string FailureText(CURLcode code) const;

 private:
  struct TDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
  };
  static int OnDebug(CURL* handle, curl_infotype type, char* data, size_t size, void* self);
  void AddReplyLine(std::string_view line);

  std::array<char, CURL_ERROR_SIZE> error_{};
  std::string pending_;  // lines of a multi-line reply not yet complete
  int pendingCode_ = 0;
  std::string lastReply_;
  int lastReplyCode_ = 0;
  std::unique_ptr<CURL, TDeleter> handle_;  // last: cleaned up first, while the rest is valid
};

class TCurlSlist {
 public:
  void Append(const std::string& text);  // throws std::bad_alloc
  curl_slist* get() const { return list_.get(); }

 private:
  struct TDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };
  std::unique_ptr<curl_slist, TDeleter> list_;
};

// A text from a server made fit for one log line: control characters become blanks, the
// ends are trimmed and the length is bounded.
std::string CleanServerText(std::string_view text);
