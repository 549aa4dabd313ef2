#include "platform/Utf8.h"

namespace {

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

bool IsWellFormedUtf8(std::string_view bytes) {
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The length of the sequence and the range of its second byte, which is where overlong
    // forms, surrogates and code points above U+10FFFF show (the table of well-formed byte
    // sequences in the Unicode standard, chapter 3).
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // below U+0800: overlong
      if (lead == 0xED) high = 0x9F;  // U+D800..U+DFFF: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // below U+10000: overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;  // a lone continuation byte, C0/C1 (overlong by design) or F5..FF
    }
    if (size - i < length) return false;
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!IsContinuation(static_cast<unsigned char>(bytes[i + k]))) return false;
    }
    i += length;
  }
  return true;
}

std::string DecodeRequestText(std::string_view bytes) {
  if (!IsWellFormedUtf8(bytes)) return std::string();
  return std::string(bytes);
}

std::string EncodeResponseFrame(std::string_view text) {
  std::string frame;
  frame.reserve(text.size() + 1);
  frame.append(text);
  frame.push_back('\0');
  return frame;
}
