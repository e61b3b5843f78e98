// One notification mail account of the global settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TEmailAccount {
 public:
  TEmailAccount();  // the defaults of a new account

  // A new account with every field copied; the settings dialog edits clones.
  std::unique_ptr<TEmailAccount> Clone() const;

  bool operator==(const TEmailAccount&) const = default;

  std::string Caption;
  std::string SMTPServer;
  std::int32_t Port = 25;
  bool Authenticate = false;
  std::string UserName;
  std::string Password;  // stored as plain text
  std::string From;
  std::string To;
  std::string Subject;
  std::string Body;
};
