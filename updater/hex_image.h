// The firmware image loader: an Intel HEX file becomes a flat image of at
// most 60 KiB, stored beside it as a raw ".bin" file that the burner streams.
//
// The reader takes each line by fixed character positions: byte count at
// 1-2, address at 3-6, data from 9 on. The record type and the checksum are
// not looked at, so every line before the end record (exactly
// ":00000001FF" and a line feed) is stored as data at its 16-bit address.
#pragma once

#include "updater/tool_ui.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zr417::updater {

constexpr std::size_t kImageLimit = 0xF000;  // 61440 bytes, addresses 0x0000-0xEFFF
constexpr std::size_t kMaxLineLength = 255;  // longer lines continue as a further line

// Result codes of LoadHexImage.
constexpr int kHexOpenFailed = 1;
constexpr int kHexOk = 2;
constexpr int kHexTooBig = 3;

// Builds an image one text line at a time, in its own 61440-byte buffer.
class HexImageReader {
public:
    HexImageReader();

    enum class LineResult { Stored, End, TooBig };
    // A line as read in text mode: at most 255 characters, its line feed
    // included when it had one.
    LineResult AddLine(const char* line, std::size_t length);

    std::size_t length() const { return length_; }  // highest address written + 1
    const std::uint8_t* data() const { return buffer_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t length_ = 0;
};

// Reads HEX text held in memory by the same rules as LoadHexImage reads a
// file (no message boxes). Returns kHexOk or kHexTooBig; on kHexOk the first
// `length` bytes of `buffer` (61440 bytes) hold the image, otherwise neither
// is touched.
int ParseHexImage(std::span<const std::uint8_t> text, std::size_t& length, std::uint8_t* buffer);

// Reads the HEX file at `path` into `buffer`, which must hold 61440 bytes.
// Returns kHexOk (image and length set), kHexOpenFailed or kHexTooBig (the
// two failures also show their message box through `sink` when given).
int LoadHexImage(const std::string& path, std::size_t& length, std::uint8_t* buffer, MessageSink* sink);

// The image file's path: the firmware path with the extension of its file
// name replaced by "bin" ("kb.rev.hex" -> "kb.rev.bin"; "kb.bin" names
// itself; a file name without a dot gets ".bin" appended).
std::string MakeImagePath(const std::string& path);

enum class ConvertResult { Converted, OpenFailed, TooBig, WriteFailed, AlreadyImage };

// Converts the HEX file into its image file, written atomically. When the
// conversion fails, reading or writing, the previous image is removed (or
// emptied when it cannot be removed), so a burn can never stream an outdated
// image; a failed write shows its message through `sink` in `language`. A
// path that names its own image (".bin") is left alone.
ConvertResult ConvertFirmware(const std::string& path, MessageSink* sink, int language = 0);

// The tool's start-up check of the configured firmware path: warns when it is
// empty or missing, converts it when its image file does not exist yet.
void FirmwareStartupCheck(const std::string& path, int language, MessageSink& sink);

}  // namespace zr417::updater
