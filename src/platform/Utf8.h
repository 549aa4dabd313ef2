// The text encoding of the wire. Requests and responses travel as UTF-8; inside the host texts
// are UTF-8 std::string too, so decoding is a validity check and encoding adds only the frame's
// NUL. Free functions without state: safe from any thread.
#pragma once

#include <string>
#include <string_view>

// True when `bytes` is well-formed UTF-8 as Unicode defines it: sequences of one to four bytes,
// each the shortest form of its code point, no surrogates (U+D800..U+DFFF) and nothing above
// U+10FFFF. So C0, C1 and F5..FF never occur, and every continuation byte (10xxxxxx) follows a
// lead byte that asks for it.
bool IsWellFormedUtf8(std::string_view bytes);

// The request text carried by the bytes of one request (the bytes before its NUL). Well-formed
// input comes back unchanged. Anything else gives the empty text, whatever the fault and wherever
// it sits: a multi-byte sequence cut off by the end of the request, a byte after a lead byte that
// is not 10xxxxxx (a legacy double-byte code page usually ends up here), a lone continuation
// byte, an overlong form, a surrogate, a code point above U+10FFFF or a byte F5..FF. The XML
// reader thus never sees invalid UTF-8. Characters outside the Basic Multilingual Plane
// (four-byte sequences) are accepted; a byte-order mark is kept as the character U+FEFF.
std::string DecodeRequestText(std::string_view bytes);

// The bytes that carry one response: the text, already UTF-8, followed by one NUL. The text must
// not hold a NUL of its own, or the peer takes the frame to end there.
std::string EncodeResponseFrame(std::string_view text);
