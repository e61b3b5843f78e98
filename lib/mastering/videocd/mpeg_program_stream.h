// What kind of MPEG program stream a file holds, from its first pack header: a VideoCD
// carries an MPEG-1 system stream, a Super VideoCD an MPEG-2 program stream, and anything else
// is refused before a disc is written.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kHalvorinNoMPEGStream = 0;
inline constexpr int kHalvorinMPEG1Stream = 1;
inline constexpr int kHalvorinMPEG2Stream = 2;
// Bytes that hold the longest pack header and the start code after it.
inline constexpr std::size_t kHalvorinMPEGProbeSize = 32;

// The stream's kind when the bytes begin with a pack header (start code, marker bits and, for
// MPEG-2, its stuffing) directly followed by the start code of a system header or a packet;
// kHalvorinNoMPEGStream for any other bytes, however few.
int HalvorinI_MPEGPackHeaderKind(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__ULONG__Size);

// The same of a file's first bytes; status 5 when it cannot be opened or read.
int HalvorinI_MPEGFileKind(const char* p__PCHAR__Path);
