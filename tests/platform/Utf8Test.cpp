#include "platform/Utf8.h"

#include <string>

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

TEST(Utf8Test, DecodeRequestText) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    bool WellFormed;  // decoded text equals the bytes; otherwise it is empty
  };
  const TCase cases[] = {
      {"empty", "", true},
      {"ASCII", "<Request type=\"ReadCard\"/>", true},
      {"CR LF and controls", "a\r\n\tb\x7f", true},
      {"two-byte", "\xc3\xa9t\xc3\xa9", true},                   // été
      {"three-byte Chinese", "\xe5\x8f\x91\xe5\x8d\xa1", true},  // 发卡
      {"four-byte emoji", "room \xf0\x9f\x94\x91", true},        // U+1F511
      {"byte-order mark", "\xef\xbb\xbf<a/>", true},
      {"lowest and highest two-byte", "\xc2\x80\xdf\xbf", true},  // U+0080, U+07FF
      {"lowest three-byte", "\xe0\xa0\x80", true},                // U+0800
      {"last before the surrogates", "\xed\x9f\xbf", true},       // U+D7FF
      {"first after the surrogates", "\xee\x80\x80", true},       // U+E000
      {"highest three-byte", "\xef\xbf\xbf", true},               // U+FFFF
      {"lowest four-byte", "\xf0\x90\x80\x80", true},             // U+10000
      {"highest code point", "\xf4\x8f\xbf\xbf", true},           // U+10FFFF
      {"two-byte cut off", "ab\xc3", false},
      {"three-byte cut off after two", "\xe5\x8f\x91\xe5\x8d", false},
      {"three-byte cut off after one", "\xe5", false},
      {"four-byte cut off after three", "\xf0\x9f\x94", false},
      {"bad continuation, ASCII", "\xe5\x41\xa1", false},
      {"bad continuation, lead byte", "\xc3\xc3\xa9", false},
      {"bad last continuation", "\xf0\x9f\x94\x41", false},
      {"legacy double-byte Chinese", "\xd6\xd0\xce\xc4", false},  // 中文 in GBK
      {"lone continuation", "a\x80", false},
      {"lone continuation after a sequence", "\xc3\xa9\xbf", false},
      {"overlong two-byte C0", "\xc0\xaf", false},
      {"overlong two-byte C1", "\xc1\xbf", false},
      {"overlong three-byte", "\xe0\x80\xaf", false},
      {"overlong four-byte", "\xf0\x80\x80\xaf", false},
      {"high surrogate", "\xed\xa0\x80", false},  // U+D800
      {"low surrogate", "\xed\xbf\xbf", false},   // U+DFFF
      {"above U+10FFFF", "\xf4\x90\x80\x80", false},
      {"lead byte F5", "\xf5\x80\x80\x80", false},
      {"lead byte F8", "\xf8\x88\x80\x80\x80", false},
      {"byte FE", "\xfe", false},
      {"byte FF", "ok\xff", false},
      {"fault after valid Chinese", "\xe5\x8f\x91\xe5\x8d\xa1\xff", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IsWellFormedUtf8(c.Bytes), c.WellFormed);
    EXPECT_EQ(DecodeRequestText(c.Bytes), c.WellFormed ? c.Bytes : "");
  }
}

TEST(Utf8Test, ResponseFrameEndsWithOneNul) {
  EXPECT_EQ(EncodeResponseFrame("\xe5\x8f\x91<a/>"), "\xe5\x8f\x91<a/>\0"s);
  EXPECT_EQ(EncodeResponseFrame(""), "\0"s);
}

}  // namespace
