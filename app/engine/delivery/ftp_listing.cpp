#include "app/engine/delivery/ftp_listing.h"

#include <sstream>

#include "app/engine/delivery/curl_handle.h"
#include "app/engine/delivery/ftp_curl_options.h"

namespace {

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

// An absolute folder as URL path: one CWD to the whole folder, then the listing.
std::string FolderUrl(CURL* curl, const std::string& folder) {
  return FtpUrlEscape(curl, folder) + "/";
}

}  // namespace

bool ParseFtpListLine(const std::string& line, TFtpListEntry& entry) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  if (text.empty()) return false;
  std::istringstream in(text);
  std::string field;
  if (std::isdigit(static_cast<unsigned char>(text[0]))) {
    // MS-DOS: date, time, "<DIR>" or size, name.
    std::string date, time, kind;
    if (!(in >> date >> time >> kind)) return false;
    entry.IsFolder = kind == "<DIR>";
  } else {
    // Unix: mode, links, owner, group, size, month, day, year or time, name.
    entry.IsFolder = text[0] == 'd';
    for (int i = 0; i < 8; ++i)
      if (!(in >> field)) return false;
  }
  std::string name;
  std::getline(in, name);
  const size_t start = name.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  name.erase(0, start);
  // A link shows "name -> target".
  if (text[0] == 'l') {
    const size_t arrow = name.find(" -> ");
    if (arrow != std::string::npos) name.erase(arrow);
  }
  entry.Name = name;
  entry.Line = text;
  return true;
}

TFtpListing::TFtpListing(TFtpLoginPlan plan, int timeoutSec, bool passive,
                         const std::atomic<bool>& cancel)
    : plan_(std::move(plan)), timeoutSec_(timeoutSec), passive_(passive), cancel_(cancel) {}

TFtpListing::~TFtpListing() = default;

bool TFtpListing::Perform(const std::string& folder, std::string* body) {
  if (!plan_.Error.empty()) {
    error_ = plan_.Error;
    return false;
  }
  if (!plan_.IsSingleLogin()) {
    error_ = "The folder chooser cannot log in through this proxy style";
    return false;
  }
  if (!curl_) curl_ = std::make_unique<TCurlHandle>();
  CURL* h = curl_->get();
  curl_->ResetTrace();
  const long timeout = std::max(1, timeoutSec_);
  std::string url = "ftp://" + FtpUrlHost(plan_.Host) + ":" + std::to_string(plan_.Port) + "/";
  if (!folder.empty()) url += FolderUrl(h, folder);
  std::string sink;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  SetFtpLoginOptions(h, plan_.Steps.front().User, plan_.Steps.front().Password, timeout, passive_);
  curl_easy_setopt(h, CURLOPT_NOBODY, body ? 0L : 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnWrite);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, body ? body : &sink);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &cancel_);
  const CURLcode code = curl_easy_perform(h);
  refused_ = code == CURLE_REMOTE_ACCESS_DENIED || code == CURLE_REMOTE_FILE_NOT_FOUND;
  if (code != CURLE_OK) {
    error_ = code == CURLE_ABORTED_BY_CALLBACK ? "Cancelled" : curl_->FailureText(code);
    return false;
  }
  return true;
}

bool TFtpListing::Connect() {
  connected_ = false;
  if (!Perform("", nullptr)) return false;
  const char* entry = nullptr;
  curl_easy_getinfo(curl_->get(), CURLINFO_FTP_ENTRY_PATH, &entry);
  current_ = entry && *entry == '/' ? entry : "/";
  connected_ = true;
  return true;
}

void TFtpListing::Disconnect() {
  curl_.reset();  // closes the connection (QUIT)
  connected_ = false;
}

std::string TFtpListing::Target(const std::string& name) const {
  if (name.empty()) return current_;
  if (name == "..") {
    const size_t slash = current_.find_last_of('/', current_.size() > 1 ? current_.size() - 2 : 0);
    return slash == std::string::npos || slash == 0 ? "/" : current_.substr(0, slash);
  }
  if (name.front() == '/') return name;
  return (current_.size() > 1 && current_.back() == '/' ? current_.substr(0, current_.size() - 1)
          : current_ == "/"                             ? ""
                                                        : current_) +
         "/" + name;
}

bool TFtpListing::List(const std::string& name, std::vector<TFtpListEntry>& entries) {
  const std::string folder = Target(name);
  std::string body;
  if (!Perform(folder, &body)) {
    // The server refusing the folder keeps the session; any other failure lost it.
    if (!refused_) connected_ = false;
    return false;
  }
  current_ = folder;
  entries.clear();
  std::istringstream lines(body);
  std::string line;
  while (std::getline(lines, line)) {
    TFtpListEntry entry;
    if (ParseFtpListLine(line, entry)) entries.push_back(std::move(entry));
  }
  return true;
}
