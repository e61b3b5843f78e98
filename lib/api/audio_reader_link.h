// Where the library starts and stops its audio reader (lib/audio).
#pragma once

// Call Tidewell_UpStart and Tidewell_DownShut here once the audio reader exists; until then
// there is nothing to start.
void HalvorinI_AudioReaderUpStart();
void HalvorinI_AudioReaderDownShut();
