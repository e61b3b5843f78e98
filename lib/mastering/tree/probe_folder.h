// A folder held open while its entries are added to a tree, so that the read probe of each
// entry resolves the entry's name from the folder instead of walking its whole path again.
#pragma once

#include <string>

class CHalvorin_ProbeFolder {
 public:
  // A folder that cannot be opened leaves every probe to the whole path.
  explicit CHalvorin_ProbeFolder(const std::string& p__STRING__Path);
  ~CHalvorin_ProbeFolder();
  CHalvorin_ProbeFolder(const CHalvorin_ProbeFolder&) = delete;
  CHalvorin_ProbeFolder& operator=(const CHalvorin_ProbeFolder&) = delete;

  // faccessat( R_OK ) of a POSIX path: 0, or -1 with errno set. A relative path under the
  // folder is resolved from it, any other path whole; the vouched entry passes unasked.
  int ProbeRead(const std::string& p__STRING__PosixPath) const;
  // An entry of the folder that its listing found readable, until the next call (empty:
  // none).
  void Vouch(const std::string& p__STRING__Name) { m__STRING__Vouched = p__STRING__Name; }

 private:
  int m__HANDLE__Folder = -1;
  std::string m__STRING__PosixPrefix;  // the folder's POSIX path, ending in '/'
  std::string m__STRING__Vouched;
};
