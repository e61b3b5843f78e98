// A mail account of the global settings as a project's mail fields.
#pragma once

#include "app/engine/project/project.h"
#include "app/engine/settings/email_account.h"

// Copies the account's server, sign-in, addresses, subject and body into the project.
void CopyMailAccount(const TEmailAccount& account, TProject& project);
