// Shell and kernel services: special folders, temporary names, times, user and host names.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/fs/fs.h"

namespace platform::shell {

// The system's temporary folder in the Windows form with a trailing backslash
// ($TMPDIR when it names an existing folder, else /tmp).
std::string TempFolder();

// Like the platform's temporary-name call: folder + up to three characters of the prefix +
// four or more hex digits + ".tmp"; the empty file is created (O_EXCL) so the name is reserved.
// Throws platform::fs::FsError when no file can be created in the folder.
std::string CreateTempFileName(std::string_view folder, std::string_view prefix);
// The same name, with the new empty file left open for reading and writing (no second open).
platform::fs::File CreateTempFile(std::string_view folder, std::string_view prefix);

// The program folder: $QUORVA_HOME when set, else $XDG_DATA_HOME/QuorvaBackup
// (default ~/.local/share/QuorvaBackup); Windows form with a trailing backslash; created.
std::string ProgramFolder();

// Permanent delete: no recycle bin, no dialog. False when it failed.
bool DeleteFilePermanently(std::string_view winPath);

// The platform's floating-point date: days since 30 December 1899, fraction = time of day,
// local time.
double Now();
double DateTimeFromUnix(std::int64_t sec, std::int32_t nsec = 0);
std::int64_t UnixFromDateTime(double dateTime);

// Packed DOS date and time of a Unix time, in local time (0 for a time before 1980).
std::uint32_t DosTimeFromUnix(std::int64_t sec);
std::int64_t UnixFromDosTime(std::uint32_t dosTime);

// "dd.mm.yyyy hh:nn:ss"-like short date + long time of the user's locale (LC_TIME), local time.
std::string FormatShortDateLongTime(std::int64_t sec);

std::string UserName();      // getpwuid of the real user
std::string ComputerName();  // gethostname
bool IsWindowsNT();          // the NT platform family: always true here

// The running program's file in the Windows form; empty when unknown.
std::string ExecutableFile();

// A new random GUID in the platform's text form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// upper-case hexadecimal.
std::string NewGuidText();

// Whether "name@computer" (or a bare name) can log on with the password, checked by PAM under
// the service "quorvabackup" (authentication, then the account's validity). A computer part
// other than this computer's name (letter case ignored) fails without asking PAM. On failure
// `reason`, when given, tells which step refused.
bool TestLogon(std::string_view account, std::string_view password, std::string* reason = nullptr);

}  // namespace platform::shell
