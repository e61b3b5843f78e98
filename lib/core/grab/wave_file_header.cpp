#include <cstring>

#include "lib/core/grab/image_descriptor.h"

WAVE_FILE_HEADER HalvorinI_MakeWaveFileHeader(std::uint32_t p__ULONG__DataSize) {
  WAVE_FILE_HEADER h{};
  std::memcpy(h.m__CHAR__Riff, "RIFF", 4);
  h.m__ULONG__RiffSize = p__ULONG__DataSize + 36;
  std::memcpy(h.m__CHAR__Wave, "WAVE", 4);
  std::memcpy(h.m__CHAR__Fmt, "fmt ", 4);
  h.m__ULONG__FmtSize = 16;
  h.m__USHORT__FormatTag = 1;
  h.m__USHORT__Channels = 2;
  h.m__ULONG__SamplesPerSecond = 44100;
  h.m__ULONG__BytesPerSecond = 176400;
  h.m__USHORT__BlockAlign = 4;
  h.m__USHORT__BitsPerSample = 16;
  std::memcpy(h.m__CHAR__Data, "data", 4);
  h.m__ULONG__DataSize = p__ULONG__DataSize;
  return h;
}
