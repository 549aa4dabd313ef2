// A rule of XML that the XML reader (pugixml) does not enforce: a character reference must name
// a character that XML allows. pugixml turns "&#0;" into the end of the value (silently cutting
// it short), and surrogates or numbers past U+10FFFF into bytes that are not UTF-8, which would
// then reach the device, the store, the log and the answers of the kinds that echo request
// values. A request holding such a reference is not a well-formed XML document.
//
// Free function without state: safe from any thread.
#pragma once

#include <string_view>

// True when every character reference of `text` ("&#" decimal digits ";" or "&#x" hexadecimal
// digits ";") names a character XML allows: tab, LF, CR, U+0020..U+D7FF, U+E000..U+FFFD or
// U+10000..U+10FFFF. References inside CDATA sections, comments and processing instructions are
// literal text there and are not looked at; "&#" without digits or without its ";" is no
// reference (the reader keeps it as text) and passes too.
bool CharacterReferencesAreLegal(std::string_view text);
