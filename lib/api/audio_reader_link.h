// Where the library starts and stops its audio reader (lib/audio).
#pragma once

// Tidewell_UpStart and Tidewell_DownShut, with the library's own start-up and shut-down.
void HalvorinI_AudioReaderUpStart();
void HalvorinI_AudioReaderDownShut();
// Whether the audio reader takes the file, as uncompressed or else as compressed.
bool HalvorinI_AudioReaderSupports(const char* p__PCHAR__FileName);
