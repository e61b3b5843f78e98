// Failures of the archive layer that reach its callers.
#pragma once

#include <stdexcept>
#include <string>

// Creating, writing or reading an archive failed; the text says what and where.
class EZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The user cancelled (ProgressCancelled) while a progress or volume event was being answered.
class EZipCancelled : public EZipError {
 public:
  EZipCancelled() : EZipError("The archive operation was cancelled.") {}
};
