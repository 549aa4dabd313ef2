#include "platform/XmlCharacters.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlCharactersTest, CharacterReferences) {
  struct TRow {
    const char* Text;
    bool Legal;
  };
  const TRow rows[] = {
      {"", true},
      {"<R type=\"ReadCard\"/>", true},
      {"<a>&#9;&#10;&#13;&#32;&#xD7FF;&#xE000;&#xFFFD;&#x10000;&#x10FFFF;&#x1f600;</a>", true},
      {"<a>&amp;&lt;&#38;</a>", true},
      // No reference at all: the reader keeps these as text.
      {"<a>&#;&#x;&#65&#X41;&# 65;</a>", true},
      {"<a>&#0;</a>", false},
      {"<a>&#x0;</a>", false},
      {"<a>&#1;</a>", false},
      {"<a>&#x1F;</a>", false},
      {"<a>&#xD800;</a>", false},
      {"<a>&#xdfff;</a>", false},
      {"<a>&#xFFFE;</a>", false},
      {"<a>&#xFFFF;</a>", false},
      {"<a>&#x110000;</a>", false},
      // Numbers too large for 32 bits do not wrap around to a legal character.
      {"<a>&#4294967362;</a>", false},
      {"<a>&#x100000041;</a>", false},
      {"<a b='&#0;'/>", false},
      {"<a>x</a>&#0;", false},
      // Literal text where references mean nothing.
      {"<a><![CDATA[&#0;]]></a>", true},
      {"<a><!-- &#0; --></a>", true},
      {"<?pi &#0;?><a/>", true},
      {"<a><![CDATA[x]]>&#0;</a>", false},
      {"<a><!-- x -->&#xD800;</a>", false},
      {"<a><![CDATA[&#0;", true},
  };
  for (const TRow& row : rows) {
    EXPECT_EQ(CharacterReferencesAreLegal(row.Text), row.Legal) << row.Text;
  }
}

}  // namespace
