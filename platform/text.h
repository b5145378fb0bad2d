// UTF-8 / UTF-16 conversions shared by the file formats (macro names, key
// paths and INI files hold UTF-16; the programs work in UTF-8). Invalid
// sequences become U+FFFD instead of being dropped or read past.
#pragma once

#include <string>
#include <string_view>

namespace zr417 {

constexpr char32_t kReplacementChar = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c);
void AppendUtf16(std::u16string& out, char32_t c);

// Decodes the UTF-8 sequence at s[i] and moves i past it; -1 (i unchanged)
// when it is not valid UTF-8.
long DecodeUtf8(std::string_view s, std::size_t& i);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace zr417
