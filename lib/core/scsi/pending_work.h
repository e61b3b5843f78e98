// Work a caller hands to the transport for its next command: done once on the caller's own
// thread while that command is with the device, so that the wait for it is not idle time.
#pragma once

class CHalvorin_PendingWork {
 public:
  // Reports nothing and throws nothing: what fails is kept for the caller to find.
  virtual void WhilePending() noexcept = 0;

 protected:
  ~CHalvorin_PendingWork() = default;
};
