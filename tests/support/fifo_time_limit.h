// A time limit for calls that must never wait on a FIFO: a call that blocks fails its test
// instead of hanging it.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Runs `call` on a thread of its own. True when it returned within `limit`. Past the limit each
// FIFO of `fifos` (POSIX paths) is opened from its writing side, again and again, so that an
// open or read blocked on one returns and the call ends; a call that still has not ended a
// minute later ends the process with a message, since nothing else could stop it.
bool ReturnsWithin(std::chrono::seconds limit, const std::vector<std::string>& fifos,
                   const std::function<void()>& call);
