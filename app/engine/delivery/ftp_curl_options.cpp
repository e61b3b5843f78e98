#include "app/engine/delivery/ftp_curl_options.h"

#include <memory>
#include <new>

std::string FtpUrlEscape(CURL* curl, std::string_view text) {
  if (text == ".") return "%2E";
  if (text == "..") return "%2E%2E";
  std::unique_ptr<char, decltype(&curl_free)> escaped(
      curl_easy_escape(curl, text.data(), static_cast<int>(text.size())), &curl_free);
  if (!escaped) throw std::bad_alloc();
  return escaped.get();
}

std::string FtpUrlHost(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

void SetFtpLoginOptions(CURL* curl, const std::string& user, const std::string& password,
                        long timeoutSec, bool passive) {
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeoutSec);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeoutSec);
  curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, timeoutSec * 1000L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeoutSec);
  curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  curl_easy_setopt(curl, CURLOPT_FTPPORT, passive ? nullptr : "-");
}
