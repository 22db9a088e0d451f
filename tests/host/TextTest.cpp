// Text conversion between the contract's UTF-16 and the UTF-8 the host reads and prints: malformed
// input of either kind becomes U+FFFD and never a character it does not spell, above all never a
// NUL that would cut a terminated string short.
#include <gtest/gtest.h>

#include <string>

#include "text/Text.h"

using namespace zel::host;

TEST(Text, Utf8ToUtf16) {
  struct Case {
    const char* label;
    std::string utf8;
    std::u16string expected;
  };
  const Case cases[] = {
      {"empty", "", u""},
      {"ASCII", "Clock 1", u"Clock 1"},
      {"two bytes", "\xC3\xA9", u"\u00E9"},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
      {"four bytes, a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"sequence cut short at the end", "a\xE2\x82", u"a\uFFFD\uFFFD"},
      {"lone continuation byte", "\x80z", u"\uFFFDz"},
      {"lead byte followed by a plain one", "\xC3(", u"\uFFFD("},
      {"overlong NUL", "a\xC0\x80z", u"a\uFFFDz"},
      {"overlong slash in three bytes", "\xE0\x80\xAF", u"\uFFFD"},
      {"overlong in four bytes", "\xF0\x80\x80\x80", u"\uFFFD"},
      {"UTF-16 surrogate spelt in UTF-8", "\xED\xA0\x80", u"\uFFFD"},
      {"beyond the last code point", "\xF4\x90\x80\x80", u"\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::u16string got = ToUtf16(c.utf8);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(got.find(u'\0'), c.expected.find(u'\0')) << "a NUL the input did not spell";
  }
}

TEST(Text, Utf16ToUtf8) {
  struct Case {
    const char* label;
    std::u16string utf16;
    std::string expected;
  };
  const Case cases[] = {
      {"empty", u"", ""},
      {"ASCII", u"Vorbek", "Vorbek"},
      {"two bytes", u"\u00E9", "\xC3\xA9"},
      {"three bytes", u"\u20AC", "\xE2\x82\xAC"},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"lone high surrogate at the end", std::u16string(u"a") + char16_t(0xD800), "a\xEF\xBF\xBD"},
      {"lone low surrogate", std::u16string(1, char16_t(0xDC00)) + u"b", "\xEF\xBF\xBD" "b"},
      {"pair in the wrong order", std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ToUtf8(c.utf16), c.expected);
  }
}

// Every scalar value survives the way there and back.
TEST(Text, EveryCodePointRoundTrips) {
  std::size_t failures = 0;
  for (char32_t cp = 1; cp <= 0x10FFFF && failures < 5; ++cp) {
    if (cp >= 0xD800 && cp < 0xE000) continue;
    std::u16string text;
    if (cp < 0x10000) {
      text = std::u16string(1, static_cast<char16_t>(cp));
    } else {
      text = {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
    }
    if (ToUtf16(ToUtf8(text)) != text) {
      ++failures;
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(cp);
    }
  }
}

TEST(Text, TerminatedLengthStopsAtTheLimit) {
  struct Case {
    const char16_t* text;
    std::size_t limit;
    std::size_t expected;
  };
  const Case cases[] = {{u"", 10, 0}, {u"abc", 10, 3}, {u"abcdef", 4, 4}, {u"abc", 0, 0}};
  for (const Case& c : cases) EXPECT_EQ(Utf16Length(c.text, c.limit), c.expected);
  EXPECT_EQ(Utf16Length(u"Clock"), 5u);
}
