// Delivery of an archive and its volumes to an FTP server.
#pragma once

#include <string>
#include <vector>

class TProject;
class TGlobalSetting;

// Uploads each file (Windows-form paths, in list order) into the project's remote folder
// under its own name, directly or through the project's proxy, with the retry policy and
// time-out of the settings. True only when every file arrived; false after a failure to
// connect, log in or enter the folder, a file that still failed after the retries, or a
// cancel. True for an empty list.
bool UploadToFtp(const std::vector<std::string>& volumeNames, const TProject& project,
                 const TGlobalSetting& settings);
