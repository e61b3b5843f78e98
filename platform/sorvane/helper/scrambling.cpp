#include "platform/sorvane/helper/scrambling.h"

#include <cstdint>

namespace sorvane {
namespace {

constexpr char kFirstLetter = 'A';

// A byte stream that depends on every byte of the key and on the position.
class KeyStream {
 public:
  explicit KeyStream(std::string_view key) : key_(key) {
    for (unsigned char c : key) state_ = (state_ ^ c) * 16777619u;
  }
  std::uint8_t Next() {
    const std::uint32_t mix =
        key_.empty() ? 0u : static_cast<unsigned char>(key_[at_++ % key_.size()]);
    state_ = state_ * 1103515245u + 12345u + mix;
    return static_cast<std::uint8_t>(state_ >> 16);
  }

 private:
  std::string_view key_;
  size_t at_ = 0;
  std::uint32_t state_ = 2166136261u;
};

}  // namespace

std::string Scramble(std::string_view key, std::string_view text) {
  KeyStream stream(key);
  std::string out;
  out.reserve(text.size() * 2);
  std::uint8_t previous = 0x5A;
  for (unsigned char c : text) {
    const auto v =
        static_cast<std::uint8_t>(static_cast<std::uint8_t>(c + stream.Next()) ^ previous);
    previous = v;
    out += static_cast<char>(kFirstLetter + (v >> 4));
    out += static_cast<char>(kFirstLetter + (v & 0x0F));
  }
  return out;
}

std::optional<std::string> Unscramble(std::string_view key, std::string_view scrambled) {
  if (scrambled.size() % 2 != 0) return std::nullopt;
  KeyStream stream(key);
  std::string out;
  out.reserve(scrambled.size() / 2);
  std::uint8_t previous = 0x5A;
  for (size_t i = 0; i < scrambled.size(); i += 2) {
    const int hi = scrambled[i] - kFirstLetter, lo = scrambled[i + 1] - kFirstLetter;
    if (hi < 0 || hi > 15 || lo < 0 || lo > 15) return std::nullopt;
    const auto v = static_cast<std::uint8_t>(hi << 4 | lo);
    out += static_cast<char>(static_cast<std::uint8_t>((v ^ previous) - stream.Next()));
    previous = v;
  }
  return out;
}

}  // namespace sorvane
