#include "updater/hex_image.h"

#include "platform/files.h"
#include "updater/tool_texts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zr417::updater {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The value of the leading hex digits of the field at [pos, pos + width);
// characters past the end of the line count as non-digits.
unsigned Field(const char* line, std::size_t length, std::size_t pos, std::size_t width)
{
    unsigned value = 0;
    for (std::size_t p = pos; p < pos + width && p < length; ++p) {
        int d = HexDigit(line[p]);
        if (d < 0) break;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return value;
}

constexpr char kEndRecord[] = ":00000001FF\n";

// Reads lines the way fgets(line, 256, f) does on a stream opened in text
// mode: CR LF arrives as LF, a line holds at most 255 characters and the rest
// of a longer line comes as the next one. Source provides get() (-1 at the
// end) and unget(c).
template <class Source>
std::size_t ReadTextLine(Source& source, char* line)
{
    std::size_t n = 0;
    while (n < kMaxLineLength) {
        int c = source.get();
        if (c < 0) break;
        if (c == '\r') {
            int next = source.get();
            if (next == '\n')
                c = '\n';
            else if (next >= 0)
                source.unget(next);
        }
        line[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    return n;
}

template <class Source>
int ReadAll(Source& source, std::size_t& length, std::uint8_t* buffer)
{
    HexImageReader reader;
    char line[kMaxLineLength + 1];
    for (;;) {
        std::size_t n = ReadTextLine(source, line);
        if (n == 0) break;
        auto r = reader.AddLine(line, n);
        if (r == HexImageReader::LineResult::End) break;
        if (r == HexImageReader::LineResult::TooBig) return kHexTooBig;
    }
    std::memcpy(buffer, reader.data(), reader.length());
    length = reader.length();
    return kHexOk;
}

struct MemorySource {
    std::span<const std::uint8_t> text;
    std::size_t pos = 0;
    int get() { return pos < text.size() ? text[pos++] : -1; }
    void unget(int) { --pos; }
};

struct FileSource {
    std::FILE* file;
    int get() { return getc_unlocked(file); }
    void unget(int c) { ungetc(c, file); }
};

}  // namespace

HexImageReader::HexImageReader() : buffer_(new std::uint8_t[kImageLimit]()) {}

HexImageReader::LineResult HexImageReader::AddLine(const char* line, std::size_t length)
{
    if (length == sizeof kEndRecord - 1 && std::memcmp(line, kEndRecord, length) == 0) return LineResult::End;
    unsigned count = Field(line, length, 1, 2);
    std::size_t address = Field(line, length, 3, 4);
    if (address >= kImageLimit) return LineResult::TooBig;
    for (unsigned i = 0; i < count; ++i) {
        if (address >= kImageLimit) return LineResult::TooBig;
        buffer_[address] = static_cast<std::uint8_t>(Field(line, length, 9 + 2 * i, 2));
        ++address;
        if (address > length_) length_ = address;
    }
    return LineResult::Stored;
}

int ParseHexImage(std::span<const std::uint8_t> text, std::size_t& length, std::uint8_t* buffer)
{
    MemorySource source{text};
    return ReadAll(source, length, buffer);
}

int LoadHexImage(const std::string& path, std::size_t& length, std::uint8_t* buffer, MessageSink* sink)
{
    // Opened without blocking and only when it is a regular file: a FIFO
    // named as the firmware must not hang the tool.
    std::FILE* file = nullptr;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) file = ::fdopen(fd, "rb");
    if (!file && fd >= 0) ::close(fd);
    if (!file) {
        if (sink) sink->ShowMessage(path + kHexMissingText, "Error", MessageIcon::Error);
        return kHexOpenFailed;
    }
    FileSource source{file};
    int result = ReadAll(source, length, buffer);
    std::fclose(file);
    if (result == kHexTooBig && sink) sink->ShowMessage(path + kHexTooBigText, "Error", MessageIcon::Error);
    return result;
}

std::string MakeImagePath(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return path + ".bin";
    return path.substr(0, dot + 1) + "bin";
}

namespace {

// After a failed conversion the previous image must not stay to be burned:
// it is removed, or emptied where its folder forbids removing it (a burn
// refuses an empty image).
void DiscardImage(const std::string& imagePath)
{
    std::error_code ec;
    if (std::filesystem::remove(imagePath, ec) || !std::filesystem::exists(imagePath, ec)) return;
    int fd = ::open(imagePath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
}

}  // namespace

ConvertResult ConvertFirmware(const std::string& path, MessageSink* sink, int language)
{
    std::string imagePath = MakeImagePath(path);
    if (imagePath == path) return ConvertResult::AlreadyImage;
    auto buffer = std::make_unique<std::uint8_t[]>(kImageLimit);
    std::size_t length = 0;
    int result = LoadHexImage(path, length, buffer.get(), sink);
    if (result != kHexOk) {
        DiscardImage(imagePath);
        return result == kHexOpenFailed ? ConvertResult::OpenFailed : ConvertResult::TooBig;
    }
    if (!WriteFileAtomic(imagePath, std::span<const std::uint8_t>(buffer.get(), length))) {
        DiscardImage(imagePath);
        if (sink) sink->ShowMessage(imagePath + Text(ToolText::ImageWriteFail, language), "Error", MessageIcon::Error);
        return ConvertResult::WriteFailed;
    }
    return ConvertResult::Converted;
}

void FirmwareStartupCheck(const std::string& path, int language, MessageSink& sink)
{
    std::error_code ec;
    if (path.empty()) {
        sink.ShowMessage(path + Text(ToolText::NoFirmware, language), "Warning", MessageIcon::Warning);
        return;
    }
    if (!std::filesystem::exists(path, ec)) {
        sink.ShowMessage(path + Text(ToolText::NotExist, language), "Warning", MessageIcon::Warning);
        return;
    }
    if (!std::filesystem::exists(MakeImagePath(path), ec)) ConvertFirmware(path, &sink, language);
}

}  // namespace zr417::updater
