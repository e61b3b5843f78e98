// Where an FTP upload connects and what it sends to log in, by the project's proxy style.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TProject;

struct TFtpLoginStep {
  enum class TKind { Login, Command };
  TKind Kind = TKind::Login;
  std::string User;      // Login: USER argument
  std::string Password;  // Login: PASS argument (sent when USER asks for it)
  std::string Command;   // Command: the whole line, e.g. "SITE ftp.example.org"
};

struct TFtpLoginPlan {
  std::string Host;
  int Port = 21;
  std::vector<TFtpLoginStep> Steps;
  // Set when the project's data cannot be sent safely (a line break in a name, a bad port,
  // an unknown proxy style); nothing may be sent then.
  std::string Error;

  // One plain log-in with nothing before it: what libcurl can do by itself.
  bool IsSingleLogin() const {
    return Steps.size() == 1 && Steps[0].Kind == TFtpLoginStep::TKind::Login;
  }
};

// The FTP site as a gateway is told it: host, with ":" and the port when that is not 21.
std::string FtpSiteText(const TProject& project);

TFtpLoginPlan PlanFtpLogin(const TProject& project);

// True when the text can go into one command line: no CR, LF or NUL.
bool IsSafeFtpText(std::string_view text);
