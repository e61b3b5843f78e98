// Parity checks of a raw 2352-byte sector: the parity recomputed from the sector against its
// stored bytes.
#pragma once

#include <cstdint>

// P parity (bytes 2076-2247) of bytes 12-2075.
bool CheckECCP(const std::uint8_t* p__PUCHAR__Sector);
// Q parity (bytes 2248-2351) of bytes 12-2247.
bool CheckECCQ(const std::uint8_t* p__PUCHAR__Sector);
