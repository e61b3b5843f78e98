// Walking the folders of an FTP server for the folder chooser: log in, list a folder with
// details, move into a subfolder, up, or to a full path. Plain log-ins only (libcurl).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/delivery/ftp_login.h"

class TCurlHandle;

struct TFtpListEntry {
  std::string Name;
  std::string Line;  // the server's listing line
  bool IsFolder = false;
};

// One line of a LIST reply (Unix or MS-DOS style); false for lines that name no entry.
bool ParseFtpListLine(const std::string& line, TFtpListEntry& entry);

class TFtpListing {
 public:
  // `cancel` is polled during every wait; the caller keeps it alive as long as this object.
  TFtpListing(TFtpLoginPlan plan, int timeoutSec, bool passive, const std::atomic<bool>& cancel);
  ~TFtpListing();
  TFtpListing(const TFtpListing&) = delete;
  TFtpListing& operator=(const TFtpListing&) = delete;

  // Logs in and takes the log-in folder as the current one.
  bool Connect();
  // ".." goes to the parent, a name below the current folder, a name starting with "/" is a
  // full path, an empty name stays. Lists the folder; Current() changes only on success.
  // Unless the server refused the folder, a failure ends Connected().
  bool List(const std::string& name, std::vector<TFtpListEntry>& entries);
  bool Connected() const { return connected_; }
  void Disconnect();
  const std::string& Current() const { return current_; }
  const std::string& Error() const { return error_; }

 private:
  std::string Target(const std::string& name) const;
  bool Perform(const std::string& folder, std::string* body);

  TFtpLoginPlan plan_;
  int timeoutSec_;
  bool passive_;
  const std::atomic<bool>& cancel_;
  std::unique_ptr<TCurlHandle> curl_;
  bool connected_ = false;
  bool refused_ = false;  // the last failure was the server's answer to the folder
  std::string current_;
  std::string error_;
};
