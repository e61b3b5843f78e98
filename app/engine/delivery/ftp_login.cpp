#include "app/engine/delivery/ftp_login.h"

#include "app/engine/project/project.h"

namespace {

using TKind = TFtpLoginStep::TKind;

TFtpLoginStep Login(std::string user, std::string password) {
  TFtpLoginStep step;
  step.Kind = TKind::Login;
  step.User = std::move(user);
  step.Password = std::move(password);
  return step;
}

TFtpLoginStep Command(std::string line) {
  TFtpLoginStep step;
  step.Kind = TKind::Command;
  step.Command = std::move(line);
  return step;
}

// A host name that fits an URL and a command: no blanks, controls or URL delimiters.
bool IsPlainHost(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7f) return false;
    if (c == '/' || c == '\\' || c == '?' || c == '#' || c == '@') return false;
  }
  return true;
}

bool IsPort(int port) {
  return port > 0 && port <= 65535;
}

}  // namespace

bool IsSafeFtpText(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string FtpSiteText(const TProject& project) {
  std::string site = project.FtpHost;
  if (project.FtpPort != 21) site += ":" + std::to_string(project.FtpPort);
  return site;
}

TFtpLoginPlan PlanFtpLogin(const TProject& project) {
  TFtpLoginPlan plan;
  const bool viaGateway = project.UseProxy && project.ProxyType != 4;
  if (project.UseProxy && (project.ProxyType < 0 || project.ProxyType > 4)) {
    plan.Error = "unknown proxy type " + std::to_string(project.ProxyType);
    return plan;
  }
  if (!IsPlainHost(project.FtpHost) || !IsPort(project.FtpPort)) {
    plan.Error = "invalid FTP server address";
    return plan;
  }
  if (viaGateway && (!IsPlainHost(project.ProxyHost) || !IsPort(project.ProxyPort))) {
    plan.Error = "invalid proxy address";
    return plan;
  }
  for (const std::string* text : {&project.FtpUser, &project.FtpPassword, &project.ProxyUser,
                                  &project.ProxyPassword, &project.DestinationFile}) {
    if (!IsSafeFtpText(*text)) {
      plan.Error = "line break in a user name, password or folder";
      return plan;
    }
  }

  if (!viaGateway) {
    plan.Host = project.FtpHost;
    plan.Port = project.FtpPort;
    plan.Steps.push_back(Login(project.FtpUser, project.FtpPassword));
    return plan;
  }

  plan.Host = project.ProxyHost;
  plan.Port = project.ProxyPort;
  const std::string site = FtpSiteText(project);
  const auto proxyLogin = [&] {
    if (project.ProxyAuth) plan.Steps.push_back(Login(project.ProxyUser, project.ProxyPassword));
  };
  switch (project.ProxyType) {
    case 0:  // USER user@site
      proxyLogin();
      plan.Steps.push_back(Login(project.FtpUser + "@" + site, project.FtpPassword));
      break;
    case 1:  // SITE site
    case 2:  // OPEN site
      proxyLogin();
      plan.Steps.push_back(Command((project.ProxyType == 1 ? "SITE " : "OPEN ") + site));
      plan.Steps.push_back(Login(project.FtpUser, project.FtpPassword));
      break;
    case 3:  // USER/PASS: the proxy's credentials ride along with the site's
      if (project.ProxyAuth) {
        plan.Steps.push_back(Login(project.FtpUser + "@" + project.ProxyUser + "@" + site,
                                   project.FtpPassword + "@" + project.ProxyPassword));
      } else {
        plan.Steps.push_back(Login(project.FtpUser + "@" + site, project.FtpPassword));
      }
      break;
  }
  return plan;
}
