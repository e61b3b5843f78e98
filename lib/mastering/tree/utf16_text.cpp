#include "lib/mastering/tree/utf16_text.h"

#include "platform/text/text.h"

std::u16string HalvorinI_Utf16FromBigEndian(const std::uint8_t* p__PUCHAR__Bytes,
                                            std::size_t p__ULONG__Length) {
  std::u16string text;
  text.reserve(p__ULONG__Length / 2);
  for (std::size_t i = 0; i + 1 < p__ULONG__Length; i += 2)
    text.push_back(static_cast<char16_t>(p__PUCHAR__Bytes[i] << 8 | p__PUCHAR__Bytes[i + 1]));
  return text;
}

std::string HalvorinI_Utf16ToUtf8(const std::u16string& p__WSTRING__Text) {
  std::string out;
  out.reserve(p__WSTRING__Text.size() * 3);
  const std::size_t n = p__WSTRING__Text.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t cp = p__WSTRING__Text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && p__WSTRING__Text[i + 1] >= 0xDC00 &&
        p__WSTRING__Text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (p__WSTRING__Text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    platform::text::AppendUtf8(cp, out);
  }
  return out;
}
