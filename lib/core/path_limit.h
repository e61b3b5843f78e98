// The longest path the library takes or makes: 260 bytes, terminator included.
#pragma once

#include <cstddef>

inline constexpr std::size_t kHalvorinMaxPath = 260;
