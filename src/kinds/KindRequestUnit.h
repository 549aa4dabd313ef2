// What the request handlers of the police registration, member card and hand tag kinds share
// beyond the door lock handler's helpers (RequestType, ChildAt, ChildText): reading the request
// document, the integer reading of request and device values, and the escaping of texts that a
// response takes over from the device or the request.
//
// Free functions without state: safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// Parses the request text into `document` and returns its root element. Throws ERequestError
// when the text is not XML, holds no element (the empty text included) or refers to a character
// that XML does not allow (see CharacterReferencesAreLegal); the handling then ends without an
// answer.
pugi::xml_node ParseRequestRoot(pugi::xml_document& document, const std::string& text);

// An integer text: optional white space (blank, tab, CR, LF) around it, an optional sign, then
// one or more decimal digits, within the signed 32-bit range. Anything else, the empty text
// included, does not convert: TryStrToInt32 returns false and leaves `value` alone, StrToInt32
// throws EConvertError "'<text>' is not a valid integer value".
bool TryStrToInt32(const std::string& text, std::int32_t& value);
std::int32_t StrToInt32(const std::string& text);

// `text` with the five characters that XML gives a meaning (& < > " ') replaced by their
// predefined entities, so that a value inserted between two tags stays that element's text
// whatever it holds. Every other byte is copied as it stands.
std::string XmlEscape(std::string_view text);
