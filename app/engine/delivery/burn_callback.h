// The program's general event callback of the recording library: a trace line per event and
// new names for colliding file-tree entries; the counters it shares with the disc driver.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "halvorin.h"

// Calls in and out of SamplesCallback and BurnProgressCallback.
extern std::atomic<std::int32_t> SamplesCallbackCallsIn;
extern std::atomic<std::int32_t> SamplesCallbackCallsOut;
// The last percentages shown; the disc driver zeroes the write one before each track.
extern std::atomic<std::int64_t> LastWritePercent;
extern std::atomic<std::int64_t> LastGrabPercent;

// Module start: collision counter 1, call counters 0, module name from the program path.
void InitializeSamplesTools(std::string_view programPath);
// Traces the call counters to the debugger output.
void FinalizeSamplesTools();
std::string TraceModuleName();

void SamplesCallback(std::uint32_t reason, void* context, void* first, void* second);

// Both rename in place within `capacity` bytes (terminator included) and return false when no
// different name fits.
bool MakeUniqueIsoName(char* name, std::size_t capacity);
bool MakeUniqueJolietName(char16_t* name, std::size_t capacity);

// Renames the record's identifier and answers 2, or leaves the preset answer when no new name
// fits. The old and new identifier texts go to `before`/`after` when given.
void AnswerNameCollision(HALVORIN_NAME_COLLISION_RECORD* record, std::string* before = nullptr,
                         std::string* after = nullptr);
