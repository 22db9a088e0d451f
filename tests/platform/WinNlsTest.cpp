// Conversion between UTF-8 (the ANSI code page here) and UTF-16.
#include <gtest/gtest.h>

#include <string>

#include "WinNls.h"

namespace {

struct ToWideCase {
  const char* name;
  UINT codePage;
  DWORD flags;
  std::string input;
  int inputLength;  ///< as passed; -1: up to and including the terminator
  std::u16string expected;
  int result;
  DWORD error;  ///< when result is 0
};

TEST(MultiByteToWideChar, ConvertsUtf8AndReportsFailures) {
  const ToWideCase cases[] = {
      {"ascii", CP_ACP, 0, "12:30", 5, u"12:30", 5, 0},
      {"with terminator", CP_ACP, 0, "ab", -1, std::u16string(u"ab\0", 3), 3, 0},
      {"two-byte", CP_UTF8, 0, "\xC3\xA9t\xC3\xA9", 5, u"\u00E9t\u00E9", 3, 0},
      {"three-byte", CP_ACP, 0, "\xE2\x82\xAC", 3, u"\u20AC", 1, 0},
      {"surrogate pair", CP_ACP, 0, "\xF0\x9F\x95\x90", 4, u"\U0001F550", 2, 0},
      {"invalid byte replaced", CP_ACP, 0, "a\xFF" "b", 3, u"a\uFFFDb", 3, 0},
      {"overlong replaced", CP_ACP, 0, "\xC0\xAF", 2, u"\uFFFD", 1, 0},
      {"truncated sequence replaced", CP_ACP, 0, "x\xE2\x82", 3, u"x\uFFFD\uFFFD", 3, 0},
      {"invalid refused", CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, u"", 0, ERROR_NO_UNICODE_TRANSLATION},
      {"other code page", 1252, 0, "abc", 3, u"", 0, ERROR_INVALID_PARAMETER},
      {"zero length", CP_ACP, 0, "abc", 0, u"", 0, ERROR_INVALID_PARAMETER},
      {"unknown flag", CP_ACP, 0x1, "abc", 3, u"", 0, ERROR_INVALID_FLAGS},
  };
  for (const ToWideCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    const int needed = MultiByteToWideChar(c.codePage, c.flags, c.input.c_str(), c.inputLength, nullptr, 0);
    EXPECT_EQ(c.result, needed);
    WCHAR out[16] = {};
    const int written = MultiByteToWideChar(c.codePage, c.flags, c.input.c_str(), c.inputLength, out, 16);
    EXPECT_EQ(c.result, written);
    if (c.result) {
      EXPECT_EQ(c.expected, std::u16string(out, static_cast<std::size_t>(written)));
    } else {
      EXPECT_EQ(c.error, GetLastError());
    }
  }
}

TEST(MultiByteToWideChar, TooSmallABufferFails) {
  WCHAR out[3] = {u'x', u'x', u'x'};
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "12:30", -1, out, 3));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  // A pair is never split over the end of the buffer.
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "a\xF0\x9F\x95\x90", 5, out, 2));
}

TEST(WideCharToMultiByte, ConvertsUtf16AndReplacesLoneSurrogates) {
  char out[16] = {};
  EXPECT_EQ(8, WideCharToMultiByte(CP_ACP, 0, u"\u00E9\U0001F550x", -1, out, 16, nullptr, nullptr));  // with terminator
  EXPECT_STREQ("\xC3\xA9\xF0\x9F\x95\x90x", out);
  const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(5, WideCharToMultiByte(CP_UTF8, 0, lone, 3, out, 16, nullptr, nullptr));
  EXPECT_EQ(std::string("a\xEF\xBF\xBD" "b"), std::string(out, 5));
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, out, 2, nullptr, nullptr));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
}

}  // namespace
