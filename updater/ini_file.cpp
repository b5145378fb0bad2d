#include "updater/ini_file.h"

#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>

namespace zr417::updater {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

struct Parsed {
    enum class Kind { Other, Section, Key } kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

Parsed ParseLine(std::string_view text)
{
    text = Trim(text);
    Parsed p;
    if (!text.empty() && text.front() == '[') {
        auto close = text.rfind(']');
        if (close != std::string_view::npos) {
            p.kind = Parsed::Kind::Section;
            p.name = Trim(text.substr(1, close - 1));
            return p;
        }
    }
    auto eq = text.find('=');
    if (eq == std::string_view::npos) return p;
    p.name = Trim(text.substr(0, eq));
    if (p.name.empty()) return p;
    p.kind = Parsed::Kind::Key;
    p.value = Trim(text.substr(eq + 1));
    if (p.value.size() >= 2 && (p.value.front() == '"' || p.value.front() == '\'') && p.value.back() == p.value.front())
        p.value = p.value.substr(1, p.value.size() - 2);
    return p;
}

// ANSI text that is not valid UTF-8 is taken as Latin-1.
std::string AnsiToUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size())
        if (DecodeUtf8(s, i) < 0) break;
    if (i == s.size()) return std::string(s);
    std::string out;
    for (char c : s) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path)
{
    auto bytes = ReadFileBytes(path, kMaxFileSize + 1);
    if (!bytes) return {};
    bool tooLarge = bytes->size() > kMaxFileSize;
    IniFile ini = FromBytes(std::move(*bytes));
    ini.truncated_ = tooLarge;
    return ini;
}

IniFile IniFile::FromBytes(std::vector<std::uint8_t> bytes)
{
    IniFile ini;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        ini.encoding_ = Encoding::Utf16Le;
    else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        ini.encoding_ = Encoding::Utf8Bom;
    ini.bytes_ = std::move(bytes);
    return ini;
}

std::vector<IniFile::Line> IniFile::Lines() const
{
    std::vector<Line> lines;
    const bool wide = encoding_ == Encoding::Utf16Le;
    const std::size_t unit = wide ? 2 : 1;
    std::size_t pos = encoding_ == Encoding::Utf16Le ? 2 : encoding_ == Encoding::Utf8Bom ? 3 : 0;
    const std::size_t size = bytes_.size() - (wide ? bytes_.size() % 2 : 0);
    auto codeAt = [&](std::size_t p) -> unsigned { return wide ? bytes_[p] | (bytes_[p + 1] << 8) : bytes_[p]; };
    while (pos < size) {
        Line line;
        line.begin = pos;
        std::size_t p = pos;
        while (p < size && codeAt(p) != '\n') p += unit;
        line.terminated = p < size;
        line.next = line.terminated ? p + unit : p;
        // A CR before the line feed belongs to the line end, not the content.
        if (line.terminated && p >= line.begin + unit && codeAt(p - unit) == '\r') p -= unit;
        line.end = p;
        if (wide) {
            std::string text;
            for (std::size_t q = line.begin; q < line.end; q += 2) {
                char32_t c = codeAt(q);
                if (c >= 0xD800 && c <= 0xDBFF && q + 2 < line.end) {
                    char32_t low = codeAt(q + 2);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        q += 2;
                    }
                }
                if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
                AppendUtf8(text, c);
            }
            line.text = std::move(text);
        } else {
            line.text = AnsiToUtf8(
                std::string_view(reinterpret_cast<const char*>(bytes_.data()) + line.begin, line.end - line.begin));
        }
        while (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        pos = line.next;
        lines.push_back(std::move(line));
    }
    return lines;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const
{
    bool inSection = false;
    bool seen = false;
    for (const auto& line : Lines()) {
        Parsed p = ParseLine(line.text);
        if (p.kind == Parsed::Kind::Section) {
            if (inSection) return std::nullopt;  // only the first section of a name counts
            inSection = !seen && EqualNoCase(p.name, section);
            seen = seen || inSection;
        } else if (inSection && p.kind == Parsed::Kind::Key && EqualNoCase(p.name, key)) {
            return std::string(p.value);
        }
    }
    return std::nullopt;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view fallback) const
{
    auto value = Find(section, key);
    return value ? *value : std::string(fallback);
}

std::uint32_t IniFile::GetInt(std::string_view section, std::string_view key, std::uint32_t fallback) const
{
    auto value = Find(section, key);
    if (!value || value->empty()) return fallback;
    std::uint32_t result = 0;
    for (char c : *value) {
        if (c < '0' || c > '9') break;
        result = result * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return result;
}

std::string IniFile::LineEnd() const
{
    for (const auto& line : Lines())
        if (line.terminated) {
            return line.next - line.end > (encoding_ == Encoding::Utf16Le ? 2u : 1u) ? "\r\n" : "\n";
        }
    return "\n";
}

std::vector<std::uint8_t> IniFile::Encode(std::string_view utf8) const
{
    if (encoding_ != Encoding::Utf16Le) return {utf8.begin(), utf8.end()};
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        long c = DecodeUtf8(utf8, i);
        if (c < 0) {
            c = 0xFFFD;
            ++i;
        }
        auto put = [&](unsigned u) {
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        };
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(static_cast<unsigned>(c));
        }
    }
    return out;
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value)
{
    std::string clean(value);
    std::replace(clean.begin(), clean.end(), '\n', ' ');
    std::replace(clean.begin(), clean.end(), '\r', ' ');
    const std::string entry = std::string(key) + "=" + clean;
    const std::string eol = LineEnd();
    if (encoding_ == Encoding::Utf16Le && bytes_.size() % 2 != 0) bytes_.pop_back();  // half a character cannot be kept

    auto lines = Lines();
    std::size_t sectionLine = SIZE_MAX;  // index of the section's header
    std::size_t lastContent = SIZE_MAX;  // last non-blank line of the section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Parsed p = ParseLine(lines[i].text);
        if (p.kind == Parsed::Kind::Section) {
            if (sectionLine != SIZE_MAX) break;
            if (EqualNoCase(p.name, section)) sectionLine = lastContent = i;
            continue;
        }
        if (sectionLine == SIZE_MAX) continue;
        if (p.kind == Parsed::Kind::Key && EqualNoCase(p.name, key)) {
            auto encoded = Encode(entry);
            bytes_.erase(bytes_.begin() + static_cast<std::ptrdiff_t>(lines[i].begin),
                         bytes_.begin() + static_cast<std::ptrdiff_t>(lines[i].end));
            bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(lines[i].begin), encoded.begin(), encoded.end());
            return;
        }
        if (!Trim(lines[i].text).empty()) lastContent = i;
    }

    std::string text;
    std::size_t at;
    if (sectionLine == SIZE_MAX) {
        at = bytes_.size();
        bool needBreak = !lines.empty() && !lines.back().terminated;
        text = (needBreak ? eol : "") + "[" + std::string(section) + "]" + eol + entry + eol;
    } else {
        const Line& after = lines[lastContent];
        at = after.next;
        text = after.terminated ? entry + eol : eol + entry;
    }
    auto encoded = Encode(text);
    bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(at), encoded.begin(), encoded.end());
}

bool IniFile::Save(const std::filesystem::path& path) const
{
    if (truncated_) return false;
    return static_cast<bool>(WriteFileAtomic(path, std::span<const std::uint8_t>(bytes_)));
}

bool IniFile::WriteString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                          std::string_view value)
{
    IniFile ini = Load(path);
    ini.SetString(section, key, value);
    return ini.Save(path);
}

}  // namespace zr417::updater
