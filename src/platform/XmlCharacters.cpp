#include "platform/XmlCharacters.h"

#include <cstdint>

namespace {

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct TLiteral {
  std::string_view Open, Close;
};
constexpr TLiteral kLiterals[] = {{"<![CDATA[", "]]>"}, {"<!--", "-->"}, {"<?", "?>"}};

}  // namespace

bool CharacterReferencesAreLegal(std::string_view text) {
  std::size_t i = 0;
  while ((i = text.find_first_of("<&", i)) != std::string_view::npos) {
    if (text[i] == '<') {
      std::size_t next = i + 1;
      for (const TLiteral& literal : kLiterals) {
        if (text.substr(i, literal.Open.size()) != literal.Open) continue;
        const std::size_t close = text.find(literal.Close, i + literal.Open.size());
        // Unterminated, the reader refuses the text anyway.
        if (close == std::string_view::npos) return true;
        next = close + literal.Close.size();
        break;
      }
      i = next;
      continue;
    }
    std::size_t j = i + 1;
    if (j >= text.size() || text[j] != '#') {
      i = j;
      continue;
    }
    ++j;
    const bool hex = j < text.size() && text[j] == 'x';
    if (hex) ++j;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (int d; j < text.size() && (d = DigitValue(text[j], hex)) >= 0; ++j, ++digits) {
      // Held just past the largest character, so that any number of digits cannot overflow.
      value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
      if (value > 0x110000) value = 0x110000;
    }
    if (digits > 0 && j < text.size() && text[j] == ';' && !IsXmlChar(value)) return false;
    i = j;
  }
  return true;
}
