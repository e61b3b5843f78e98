// A mail account of the global settings as a project's mail fields.
#pragma once

#include "app/engine/email_account.h"
#include "app/engine/project.h"

// Copies the account's server, sign-in, addresses, subject and body into the project.
void CopyMailAccount(const TEmailAccount& account, TProject& project);
