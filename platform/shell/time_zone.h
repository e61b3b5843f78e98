// The time zone the local-time conversions follow.
#pragma once

namespace platform::shell {

// Rereads the time zone when TZ changed since the last call. (tzset itself looks at
// /etc/localtime on every call, which large runs pay for once per file.)
void FollowTimeZone();

}  // namespace platform::shell
