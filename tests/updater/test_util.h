// Helpers shared by the update tool's tests.
#pragma once

#include "device/emu/bootloader_emulator.h"
#include "device/emu/emulated_bus.h"
#include "tests/support/temp_dir.h"
#include "updater/flashing.h"
#include "updater/tool_ui.h"

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zr417::updater::test {

using zr417::test::TempDir;

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// One Intel HEX data record (with a correct checksum).
inline std::string Record(unsigned address, const std::vector<std::uint8_t>& data, unsigned type = 0)
{
    char buf[16];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<unsigned>(data.size()), address & 0xFFFF, type);
    line += buf;
    for (auto b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

// A HEX file of `image`, 16 bytes a record, with the end record.
inline std::string HexOf(const std::vector<std::uint8_t>& image)
{
    std::string text;
    for (std::size_t a = 0; a < image.size(); a += 16)
        text += Record(static_cast<unsigned>(a),
                       std::vector<std::uint8_t>(image.begin() + a, image.begin() + std::min(a + 16, image.size())));
    return text + ":00000001FF\n";
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed = 7)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>((i * 31 + seed + (i >> 8)) & 0xFF);
    if (!v.empty() && v[0] == 0) v[0] = 0xA5;  // a real first byte tells the rewrite apart
    return v;
}

struct Message {
    std::string text, caption;
    MessageIcon icon;
};

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override
    {
        messages.push_back({text, caption, icon});
    }
    std::vector<Message> messages;
};

// A status control that keeps every line it was given.
class RecordingStatus : public StatusControl {
public:
    void SetLine1(const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        line1_ = text;
        history_.push_back(text);
    }
    void SetLine2(const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        line2_ = text;
    }
    void SetColour(int colour) override
    {
        std::lock_guard lock(mutex_);
        colour_ = colour;
    }
    void Redraw(bool) override {}

    std::string line1() const
    {
        std::lock_guard lock(mutex_);
        return line1_;
    }
    std::string line2() const
    {
        std::lock_guard lock(mutex_);
        return line2_;
    }
    int colour() const
    {
        std::lock_guard lock(mutex_);
        return colour_;
    }
    std::vector<std::string> history() const
    {
        std::lock_guard lock(mutex_);
        return history_;
    }
    bool saw(const std::string& text) const
    {
        std::lock_guard lock(mutex_);
        return std::find(history_.begin(), history_.end(), text) != history_.end();
    }

private:
    mutable std::mutex mutex_;
    std::string line1_, line2_;
    int colour_ = 0;
    std::vector<std::string> history_;
};

// A keyboard in normal mode that answers the bootloader-entry report by
// re-enumerating as a bootloader.
class NormalKeyboard : public emu::EmulatedDevice {
public:
    NormalKeyboard(std::uint16_t vid, std::uint16_t pid, std::uint16_t featureLength = 8)
        : vid_(vid), pid_(pid), featureLength_(featureLength)
    {
    }
    std::uint16_t vendorId() const override { return vid_; }
    std::uint16_t productId() const override { return pid_; }
    std::vector<Collection> collections() const override
    {
        Collection c;
        c.interfaceNumber = 1;
        c.collectionNumber = 3;
        // The bootloader-entry report is declared beside the command report,
        // as a handle sends only declared reports.
        c.reports = {{3, featureLength_, 0, 0}, {5, featureLength_, 0, 0}};
        return {c};
    }
    bool setFeature(std::size_t, const std::uint8_t* data, std::size_t length) override
    {
        received.assign(data, data + length);
        if (length >= 2 && data[0] == 0x05 && data[1] == 0x75) successor_ = std::make_shared<emu::BootloaderEmulator>();
        return true;
    }
    bool getFeature(std::size_t, std::uint8_t*, std::size_t) override { return false; }
    std::shared_ptr<EmulatedDevice> takeSuccessor() override { return std::exchange(successor_, nullptr); }

    std::vector<std::uint8_t> received;

private:
    std::uint16_t vid_, pid_, featureLength_;
    std::shared_ptr<EmulatedDevice> successor_;
};

}  // namespace zr417::updater::test
