// Where the library starts and stops its audio reader (lib/audio).
#pragma once

// Call Tidewell_UpStart and Tidewell_DownShut here once the audio reader exists; until then
// there is nothing to start.
void HalvorinI_AudioReaderUpStart();
void HalvorinI_AudioReaderDownShut();
// Whether the audio reader takes the file, uncompressed or compressed; until the reader exists
// no file is taken.
bool HalvorinI_AudioReaderSupports(const char* p__PCHAR__FileName);
