// Text helpers: trimming, case mapping and comparison of UTF-8 texts.
#pragma once

#include <string>

// Remove the characters up to and including the blank (control characters and " ") from both ends,
// the start or the end of a text.
std::string Trim(const std::string& text);
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);

// Lower and upper case of a UTF-8 text: Latin (ASCII, Latin-1, Latin Extended-A), Greek and Cyrillic
// letters are mapped; every other character, and bytes that are not UTF-8, are kept.
std::string AnsiLowerCase(const std::string& text);
std::string AnsiUpperCase(const std::string& text);

// Equal ignoring case (as AnsiLowerCase maps it).
bool SameText(const std::string& a, const std::string& b);

// Compare in the collation order of the user's locale (LC_COLLATE as setlocale(LC_ALL, "") reads it;
// byte order where no locale is installed): < 0, 0 or > 0. AnsiCompareStr is case-sensitive,
// AnsiCompareText ignores case.
int AnsiCompareStr(const std::string& a, const std::string& b);
int AnsiCompareText(const std::string& a, const std::string& b);

// Encodes one Unicode code point as UTF-8 ("°" for U+00B0).
std::string Utf8(char32_t codePoint);
// The code points of a UTF-8 text; a byte that is not part of valid UTF-8 becomes U+DC00 + the byte.
std::u32string DecodeUtf8(const std::string& text);
