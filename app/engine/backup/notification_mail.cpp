#include "app/engine/backup/notification_mail.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/engine/delivery/curl_handle.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/user_interface.h"
#include "platform/shell/shell.h"

namespace {

constexpr size_t kMaxPlainHeader = 900;  // longer header texts are folded as encoded words

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Header text on one line: control characters (a line break would start a new header) become
// blanks.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (size_t k = 0; k < 3; ++k)
      v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += n > 1 ? kDigits[(v >> 6) & 63] : '=';
    out += n > 2 ? kDigits[v & 63] : '=';
  }
  return out;
}

// A header text as is when it is short plain ASCII, else as UTF-8 encoded words of at most
// 75 characters, never splitting a character, on folded lines.
std::string EncodeHeaderText(std::string_view raw) {
  const std::string text = OneLine(raw);
  if (IsAscii(text) && text.size() <= kMaxPlainHeader) return text;
  constexpr size_t kChunk = 45;  // bytes: 60 base64 characters + 12 of the frame
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t n = std::min(kChunk, text.size() - i);
    while (n > 1 && i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
      --n;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(text).substr(i, n)) + "?=";
    i += n;
  }
  return out;
}

// The address itself: what stands in angle brackets, else the whole text.
std::string AddressPart(std::string_view text) {
  text = Trim(text);
  const size_t open = text.find('<');
  if (open != std::string_view::npos) {
    const size_t close = text.find('>', open);
    text = text.substr(open + 1,
                       close == std::string_view::npos ? std::string_view::npos : close - open - 1);
  }
  return std::string(Trim(text));
}

bool IsPlainAddress(std::string_view address) {
  return std::none_of(address.begin(), address.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7f || c == '<' || c == '>';
  });
}

// The sender for From and Reply-To: a display name before "<address>" is encoded when it is
// not plain ASCII.
std::string AddressHeader(std::string_view text) {
  text = Trim(text);
  const size_t open = text.find('<');
  if (open == std::string_view::npos) return OneLine(text);
  const std::string_view name = Trim(text.substr(0, open));
  const std::string address = "<" + AddressPart(text) + ">";
  if (name.empty()) return address;
  return (IsAscii(name) ? OneLine(name) : EncodeHeaderText(name)) + " " + address;
}

// The recipients as the user typed them: separated by ";", "," or blanks.
std::vector<std::string> SplitRecipients(std::string_view text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t end = text.find_first_of(";, \t\r\n", i);
    const std::string address = AddressPart(
        text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
    if (!address.empty()) out.push_back(address);
    if (end == std::string_view::npos) break;
    i = end + 1;
  }
  return out;
}

std::string RfcDate(std::time_t now) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm lt{};
  localtime_r(&now, &lt);
  const long offset = lt.tm_gmtoff / 60;
  const long absOffset = offset < 0 ? -offset : offset;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[lt.tm_wday % 7], lt.tm_mday, kMonths[lt.tm_mon % 12], lt.tm_year + 1900,
                lt.tm_hour, lt.tm_min, lt.tm_sec, offset < 0 ? '-' : '+', absOffset / 60,
                absOffset % 60);
  return buffer;
}

// One line of the body as quoted-printable, with soft breaks to keep lines within 76.
void AppendQuotedPrintable(std::string& out, std::string_view line) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  size_t width = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    const bool last = i + 1 == line.size();
    std::string piece;
    if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
      piece.assign(1, static_cast<char>(c));
    } else {
      piece = {'=', kHex[c >> 4], kHex[c & 15]};
    }
    if (width + piece.size() > 75) {
      out += "=\r\n";
      width = 0;
    }
    out += piece;
    width += piece.size();
  }
  out += "\r\n";
}

// The body with every line ending, CR LF, lone CR or lone LF, as CR LF on the wire.
std::string EncodeBody(std::string_view body) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i <= body.size(); ++i) {
    if (i < body.size() && body[i] != '\r' && body[i] != '\n') continue;
    AppendQuotedPrintable(out, body.substr(start, i - start));
    if (i + 1 < body.size() && body[i] == '\r' && body[i + 1] == '\n') ++i;
    start = i + 1;
    if (i + 1 == body.size()) break;  // a final line break adds no empty line
  }
  return out;
}

std::string BuildMessage(const TProject& project, const std::vector<std::string>& recipients,
                         std::string_view body) {
  size_t length = 0;
  for (const std::string& r : recipients) length += r.size() + 2;
  // Many recipients are folded one to a line, within the line limit of the wire.
  const char* separator = length > kMaxPlainHeader ? ",\r\n " : ", ";
  std::string to;
  for (const std::string& r : recipients) to += (to.empty() ? "" : separator) + r;
  const std::string from = AddressHeader(project.MailAddress);
  std::string message;
  message += "Date: " + RfcDate(std::time(nullptr)) + "\r\n";
  message += "From: " + from + "\r\n";
  message += "Reply-To: " + from + "\r\n";
  message += "To: " + to + "\r\n";
  message += "Subject: " + EncodeHeaderText(project.MailSubject) + "\r\n";
  message += "MIME-Version: 1.0\r\n";
  message += "Content-Type: text/plain; charset=UTF-8\r\n";
  message += "Content-Transfer-Encoding: quoted-printable\r\n";
  message += "\r\n";
  message += EncodeBody(body);
  return message;
}

// The SMTP client's status texts: the main window's second status panel and the progress
// window's status line.
void SmtpStatus(std::string_view text) {
  UserInterface()->SetStatusPanel(1, text);
  ProgressStatus = text;
}

struct TSendState {
  std::string_view message;
  size_t sent = 0;
  bool cancelAtStart = false;
};

size_t OnRead(char* buffer, size_t size, size_t count, void* user) {
  auto* state = static_cast<TSendState*>(user);
  const size_t n = std::min(size * count, state->message.size() - state->sent);
  std::copy_n(state->message.data() + state->sent, n, buffer);
  state->sent += n;
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* state = static_cast<const TSendState*>(user);
  return !state->cancelAtStart && ProgressCancelled ? 1 : 0;
}

int OnConnected(void*, char*, char*, int, int) {
  LogStatus("SMTP server is connected. Send message ...");
  SmtpStatus("Connected.");
  return CURL_PREREQFUNC_OK;
}

bool IsPlainHost(std::string_view host) {
  return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7f || c == '/' || c == '\\' || c == '?' || c == '#' || c == '@';
  });
}

bool Fail(std::string_view reason) {
  LogError("Failed to send email (" + std::string(reason) + ")");
  SmtpStatus("Disconnected.");
  return false;
}

}  // namespace

std::string FillMailBody(const TProject& project, double runStarted, std::string_view errorText) {
  const std::string runTime =
      "[" +
      platform::shell::FormatShortDateLongTime(platform::shell::UnixFromDateTime(runStarted)) + "]";
  const std::pair<std::string_view, std::string_view> tokens[] = {
      {"[ProjectName]", project.Name},
      {"[ItemName]", project.Name},
      {"[RunTime]", runTime},
      {"[ErrorString]", errorText},
  };
  const std::string_view body = project.MailBody;
  std::string out;
  for (size_t i = 0; i < body.size();) {
    bool replaced = false;
    if (body[i] == '[') {
      for (const auto& [token, value] : tokens) {
        if (StartsWithNoCase(body.substr(i), token)) {
          out += value;
          i += token.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += body[i++];
  }
  return out;
}

bool SendNotificationMail(const TProject& project, double runStarted, std::string_view errorText,
                          int networkTimeoutSec) {
  ProgressCaption = "Send Email...";
  LogStatus("Connecting to SMTP server...");
  SmtpStatus("Connecting to " + OneLine(project.SmtpHost) + "...");

  if (!IsPlainHost(project.SmtpHost) || project.SmtpPort <= 0 || project.SmtpPort > 65535)
    return Fail("invalid SMTP server address");
  const std::string sender = AddressPart(project.MailAddress);
  const std::vector<std::string> recipients = SplitRecipients(project.MailExtraRecipients);
  if (!IsPlainAddress(sender)) return Fail("invalid sender address");
  if (recipients.empty()) return Fail("no recipient");
  for (const std::string& r : recipients)
    if (!IsPlainAddress(r)) return Fail("invalid recipient address");

  const std::string message =
      BuildMessage(project, recipients, FillMailBody(project, runStarted, errorText));
  TSendState state{message, 0, ProgressCancelled.load()};
  std::string reason;
  {
    TCurlHandle curl;
    CURL* h = curl.get();
    const std::string host =
        project.SmtpHost.find(':') != std::string::npos && project.SmtpHost.front() != '['
            ? "[" + project.SmtpHost + "]"
            : project.SmtpHost;
    // The URL's path is the name the client greets with.
    std::unique_ptr<char, decltype(&curl_free)> greeting(
        curl_easy_escape(h, platform::shell::ComputerName().c_str(), 0), &curl_free);
    const std::string url = "smtp://" + host + ":" + std::to_string(project.SmtpPort) + "/" +
                            (greeting ? greeting.get() : "localhost");
    TCurlSlist rcpt;
    for (const std::string& r : recipients) rcpt.Append("<" + r + ">");
    const long timeout = std::max(1, networkTimeoutSec);
    const std::string mailFrom = "<" + sender + ">";

    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt.get());
    if (project.SmtpAuth) {
      curl_easy_setopt(h, CURLOPT_USERNAME, project.SmtpUser.c_str());
      curl_easy_setopt(h, CURLOPT_PASSWORD, project.SmtpPassword.c_str());
      curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    }
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &OnRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &state);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &OnConnected);

    curl.ResetTrace();
    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK) {
      LogStatus("Disconnect from SMTP server");
    } else {
      reason = code == CURLE_ABORTED_BY_CALLBACK ? "cancelled" : curl.FailureText(code);
    }
  }  // the handle's clean-up says QUIT and closes
  if (!reason.empty()) return Fail(reason);
  SmtpStatus("Disconnected.");
  return true;
}
