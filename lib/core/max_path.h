// The longest path the library makes or keeps, terminator included (MAX_PATH).
#pragma once

#include <cstddef>

inline constexpr std::size_t kHalvorinMaxPath = 260;
