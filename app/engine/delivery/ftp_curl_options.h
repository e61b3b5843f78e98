// What both libcurl FTP users build alike: URL parts and the options of a one-step log-in.
#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>

// One URL path part escaped; "." and ".." too, as the URL parser would fold them away and the
// server is to see them as typed. Throws std::bad_alloc.
std::string FtpUrlEscape(CURL* curl, std::string_view text);
// The host as a URL names it: an IPv6 address in brackets.
std::string FtpUrlHost(const std::string& host);
// FTP only, the USER and PASS of the log-in, `timeoutSec` for connecting, each reply and an
// active data connection, a stalled transfer failing after it without a byte (a slow one may go
// on), one CWD to the whole folder, and passive or active data connections.
void SetFtpLoginOptions(CURL* curl, const std::string& user, const std::string& password,
                        long timeoutSec, bool passive);
