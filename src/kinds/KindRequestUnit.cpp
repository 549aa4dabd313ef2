#include "kinds/KindRequestUnit.h"

#include <limits>

#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "platform/DateTime.h"
#include "platform/XmlCharacters.h"

pugi::xml_node ParseRequestRoot(pugi::xml_document& document, const std::string& text) {
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  const pugi::xml_node root = document.document_element();
  if (!parsed || !root) {
    throw ERequestError(std::string("The request is not an XML document: ") + parsed.description());
  }
  if (!CharacterReferencesAreLegal(text)) {
    throw ERequestError("The request refers to a character that XML does not allow");
  }
  return root;
}

namespace {
bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

bool TryStrToInt32(const std::string& text, std::int32_t& value) {
  std::size_t first = 0, last = text.size();
  while (first < last && IsXmlSpace(text[first])) ++first;
  while (last > first && IsXmlSpace(text[last - 1])) --last;
  std::size_t i = first;
  bool negative = false;
  if (i < last && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == last) return false;
  // The magnitude may reach 2^31 (the minimum's); anything beyond fails before it can overflow.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < last; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) return false;
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

std::int32_t StrToInt32(const std::string& text) {
  std::int32_t value = 0;
  if (!TryStrToInt32(text, value)) {
    throw EConvertError("'" + text + "' is not a valid integer value");
  }
  return value;
}

std::string XmlEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}
