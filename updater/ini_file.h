// An INI file read and written by the rules of the Windows profile functions:
// section and key names match without regard to case, the first section of a
// name wins, values are trimmed and lose one pair of enclosing quotes,
// integers are their leading decimal digits, missing keys give the caller's
// default. Files are UTF-8 / ANSI or UTF-16LE with a byte-order mark.
// Writing a key rewrites only that key's line (or inserts one) and keeps
// every other byte of the file as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr417::updater {

class IniFile {
public:
    enum class Encoding { Ansi, Utf8Bom, Utf16Le };

    IniFile() = default;
    // A missing or unreadable file gives an empty profile.
    static IniFile Load(const std::filesystem::path& path);
    static IniFile FromBytes(std::vector<std::uint8_t> bytes);

    // The value as UTF-8, nullopt when the section or the key is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) const;
    // Leading decimal digits of the value; `fallback` when the key is missing
    // or empty; 0 for a value without leading digits or a negative one.
    std::uint32_t GetInt(std::string_view section, std::string_view key, std::uint32_t fallback) const;

    // Sets the key to `value` (line breaks in it become blanks), spelling the
    // key name exactly as given.
    void SetString(std::string_view section, std::string_view key, std::string_view value);

    // Writes the file atomically. False when writing failed, or when the file
    // was too large to be read whole (it is then left alone).
    bool Save(const std::filesystem::path& path) const;

    // Load, SetString and Save in one.
    static bool WriteString(const std::filesystem::path& path, std::string_view section, std::string_view key,
                            std::string_view value);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    Encoding encoding() const { return encoding_; }

    static constexpr std::size_t kMaxFileSize = 4 << 20;

private:
    struct Line {
        std::size_t begin = 0;    // byte offset of the content
        std::size_t end = 0;      // byte offset after the content (before any line end)
        std::size_t next = 0;     // byte offset of the following line
        bool terminated = false;  // has a line feed
        std::string text;         // content as UTF-8, trailing CR removed
    };
    std::vector<Line> Lines() const;
    std::vector<std::uint8_t> Encode(std::string_view utf8) const;
    std::string LineEnd() const;

    std::vector<std::uint8_t> bytes_;
    Encoding encoding_ = Encoding::Ansi;
    bool truncated_ = false;
};

}  // namespace zr417::updater
