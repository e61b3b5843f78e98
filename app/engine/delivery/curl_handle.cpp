#include "app/engine/delivery/curl_handle.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <new>

namespace {

constexpr size_t kMaxServerText = 512;

// The three-digit code a reply line starts with, or 0.
int ReplyCode(std::string_view line) {
  if (line.size() < 3) return 0;
  for (int i = 0; i < 3; ++i)
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return 0;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

}  // namespace

void EnsureCurlGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TCurlHandle::TCurlHandle() {
  EnsureCurlGlobalInit();
  handle_.reset(curl_easy_init());
  if (!handle_) throw std::bad_alloc();
  CURL* h = handle_.get();
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_.data());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // The debug callback sees the control connection; nothing is printed.
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &TCurlHandle::OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
}

void TCurlHandle::ResetTrace() {
  error_[0] = '\0';
  pending_.clear();
  pendingCode_ = 0;
  lastReply_.clear();
  lastReplyCode_ = 0;
}

std::string TCurlHandle::FailureText(CURLcode code) const {
  if (lastReplyCode_ >= 400) return lastReply_;
  if (error_[0] != '\0') return CleanServerText(error_.data());
  return curl_easy_strerror(code);
}

int TCurlHandle::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* me = static_cast<TCurlHandle*>(self);
  std::string_view text(data, size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    me->AddReplyLine(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return 0;
}

void TCurlHandle::AddReplyLine(std::string_view line) {
  if (line.empty()) return;
  if (pending_.size() < kMaxServerText) {
    if (!pending_.empty()) pending_ += ' ';
    pending_.append(line.substr(0, kMaxServerText));
  }
  const int code = ReplyCode(line);
  const bool final = code != 0 && (line.size() == 3 || line[3] == ' ');
  if (pendingCode_ == 0 && code != 0 && line.size() >= 4 && line[3] == '-') pendingCode_ = code;
  if (final && (pendingCode_ == 0 || pendingCode_ == code)) {
    lastReply_ = CleanServerText(pending_);
    lastReplyCode_ = code;
    pending_.clear();
    pendingCode_ = 0;
  }
}

void TCurlSlist::Append(const std::string& text) {
  curl_slist* head = curl_slist_append(list_.get(), text.c_str());
  if (!head) throw std::bad_alloc();
  list_.release();
  list_.reset(head);
}

std::string CleanServerText(std::string_view text) {
  std::string out;
  out.reserve(std::min(text.size(), kMaxServerText));
  for (char c : text) {
    if (out.size() >= kMaxServerText) break;
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7f) ? ' ' : c;
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}
