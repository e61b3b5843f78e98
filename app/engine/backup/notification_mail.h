// The notification mail at the end of a backup run, sent over SMTP with libcurl.
#pragma once

#include <string>
#include <string_view>

class TProject;

// The project's body template with its tokens replaced, in one left-to-right pass and
// ignoring case: "[ProjectName]" and "[ItemName]" by the project's name, "[RunTime]" by the
// run's start (short date and long time) in brackets, "[ErrorString]" by the run's error text.
// Replaced text is never scanned for tokens again.
std::string FillMailBody(const TProject& project, double runStarted, std::string_view errorText);

// Sends the mail of the project's mail fields: runStarted is the run's start (floating date),
// errorText the run's error text (empty after success). networkTimeoutSec bounds the
// connection, every wait for a reply and a send without progress. A cancel raised while it is
// sending stops it. False (and the error "Failed to send email" with the reason) on failure.
bool SendNotificationMail(const TProject& project, double runStarted, std::string_view errorText,
                          int networkTimeoutSec = 300);
