// What the producer of a session-at-once write reads: every track's source with its sector
// size, one after the other, so that the cache stays full across track boundaries.
#pragma once

#include <cstdint>
#include <vector>

class CHalvorin_FileChain;

struct CHalvorin_SessionFeedTrack {
  CHalvorin_FileChain* m__PCHalvorin_FileChain__Source = nullptr;
  std::uint32_t m__ULONG__LBSize = 2048;
};

struct CHalvorin_SessionFeed {
  std::vector<CHalvorin_SessionFeedTrack> m__VECTOR__Tracks;
};
