#include "app/engine/settings/email_account.h"

TEmailAccount::TEmailAccount()
    : From("backup@localhost"),
      Subject("Quorva Backup Notification"),
      // A lone CR, no line feed, after the title line.
      Body(
          "====== Quorva Backup Notification ======\r"
          "This message has been sent to you automatically by Quorva Backup because an "
          "operation on the item \"[ItemName]\" has started at [RunTime] and finished with "
          "status \"[ErrorString]\".") {}

std::unique_ptr<TEmailAccount> TEmailAccount::Clone() const {
  return std::make_unique<TEmailAccount>(*this);
}
