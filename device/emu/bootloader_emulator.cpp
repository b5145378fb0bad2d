#include "device/emu/bootloader_emulator.h"

#include <algorithm>

namespace zr417::emu {

namespace {

constexpr std::uint8_t kCommandId = 0x05;
constexpr std::uint8_t kDataId = 0x06;
constexpr std::size_t kCommandLength = 6;
constexpr std::size_t kDataLength = 2050;
constexpr std::size_t kChunk = 2048;
constexpr std::size_t kStatusAddress = 0xFCF0;
constexpr std::size_t kOptionAddress = 0xFF80;

bool AllBytesAre(const std::uint8_t* data, std::size_t from, std::size_t to, std::uint8_t value)
{
    return std::all_of(data + from, data + to, [value](std::uint8_t b) { return b == value; });
}

}  // namespace

BootloaderEmulator::BootloaderEmulator(std::uint8_t mark) : flash_(kFlashSize, 0xFF)
{
    status_[3] = mark;
}

std::vector<EmulatedDevice::Collection> BootloaderEmulator::collections() const
{
    Collection command;
    command.interfaceNumber = 0;
    command.collectionNumber = 1;
    command.usagePage = 0xFF00;
    command.usage = 1;
    command.reports = {{kCommandId, static_cast<std::uint16_t>(kCommandLength), 0, 0}};
    Collection data = command;
    data.collectionNumber = 2;
    data.usage = 2;
    data.reports = {{kDataId, static_cast<std::uint16_t>(kDataLength), 0, 0}};
    return {command, data};
}

BootloaderEmulator::Cursor BootloaderEmulator::Prepare(const std::uint8_t* report)
{
    // The two address bytes are a little-endian address in the device's
    // 64 KiB map: application flash below 0xF000, then the status word and
    // the option block.
    std::size_t address = report[2] | (report[3] << 8);
    std::size_t length = report[4] | (report[5] << 8);
    Cursor c;
    if (address < kFlashSize)
        c = {Area::Flash, address, length};
    else if (address == kStatusAddress)
        c = {Area::Status, 0, std::min<std::size_t>(length, 4)};
    else if (address == kOptionAddress)
        c = {Area::Option, 0, std::min<std::size_t>(length, 8)};
    return c;
}

std::uint8_t BootloaderEmulator::ReadByte(Area area, std::size_t offset)
{
    switch (area) {
        case Area::Flash:
            return offset < flash_.size() ? flash_[offset] : 0xFF;
        case Area::Status:
            return offset < status_.size() ? status_[offset] : 0x00;
        case Area::Option:
            return offset < option_.size() ? option_[offset] : 0x00;
        case Area::None:
            break;
    }
    return 0x00;
}

void BootloaderEmulator::WriteByte(Area area, std::size_t offset, std::uint8_t value)
{
    if (area == Area::Flash && offset < flash_.size()) {
        flash_[offset] = value;
        highestWritten_ = std::max(highestWritten_, offset + 1);
    } else if (area == Area::Option && offset < option_.size()) {
        option_[offset] = value;
    }
}

bool BootloaderEmulator::Refused(std::uint8_t reportId, std::uint8_t code)
{
    if (refuseAll_) return true;
    for (auto it = refusals_.begin(); it != refusals_.end(); ++it) {
        if (it->reportId != reportId || it->code != code) continue;
        if (it->times > 0 && --it->times == 0) refusals_.erase(it);
        return true;
    }
    return false;
}

void BootloaderEmulator::Record(bool set, const std::uint8_t* data, std::size_t length)
{
    if (recording_) reports_.push_back({set, std::vector<std::uint8_t>(data, data + length)});
}

bool BootloaderEmulator::setFeature(std::size_t, const std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(mutex_);
    if (length < 2) return false;
    Record(true, data, length);
    const std::uint8_t id = data[0];
    const std::uint8_t code = data[1];
    if (Refused(id, code)) return false;
    if (id == kCommandId && length >= kCommandLength) {
        switch (code) {
            case 0x52:  // R: prepare a read
                read_ = Prepare(data);
                return true;
            case 0x57:  // W: prepare a write
                write_ = Prepare(data);
                return true;
            case 0x77:  // w: four bytes of the prepared write
                for (std::size_t i = 2; i < 6 && write_.left > 0; ++i, --write_.left)
                    WriteByte(write_.area, write_.offset++, data[i]);
                return true;
            case 0x65:  // e: erase the option block
                option_.fill(0xFF);
                return true;
            case 0x45:  // E: erase the application flash
                if (!AllBytesAre(data, 2, kCommandLength, 0x45)) return false;
                std::fill(flash_.begin(), flash_.end(), 0xFF);
                highestWritten_ = 0;
                erasedSinceFinish_ = true;
                ++eraseCount_;
                return true;
            case 0x55:  // U: finish; a completed cycle uses up one mark bit
                if (!AllBytesAre(data, 2, kCommandLength, 0x55)) return false;
                if (erasedSinceFinish_) {
                    status_[3] = static_cast<std::uint8_t>((status_[3] << 1) | 1);
                    erasedSinceFinish_ = false;
                    ++finishCount_;
                }
                return true;
            case 0x75:  // u: already in the bootloader
                return true;
            default:
                return false;
        }
    }
    if (id == kDataId && length == kDataLength && code == 0x77) {
        for (std::size_t i = 0; i < kChunk && write_.left > 0; ++i, --write_.left)
            WriteByte(write_.area, write_.offset++, data[2 + i]);
        return true;
    }
    return false;
}

bool BootloaderEmulator::getFeature(std::size_t, std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(mutex_);
    if (length < 2 || Refused(data[0], data[1])) return false;
    const std::uint8_t id = data[0];
    if (id == kCommandId && length >= kCommandLength) {
        std::fill(data + 1, data + length, 0);
        data[1] = 0x72;
        for (std::size_t i = 2; i < 6 && read_.left > 0; ++i, --read_.left)
            data[i] = ReadByte(read_.area, read_.offset++);
        Record(false, data, length);
        return true;
    }
    if (id == kDataId && length == kDataLength) {
        data[1] = 0x72;
        std::fill(data + 2, data + length, 0);
        bool flipped = false;
        for (std::size_t i = 0; i < kChunk && read_.left > 0; ++i, --read_.left) {
            std::size_t offset = read_.offset++;
            data[2 + i] = ReadByte(read_.area, offset);
            if (flipOn_ && read_.area == Area::Flash && offset == flipAddress_) {
                data[2 + i] ^= 0xFF;
                flipped = true;
            }
        }
        if (flipped && !flipAlways_) flipOn_ = false;
        Record(false, data, length);
        return true;
    }
    return false;
}

std::vector<std::uint8_t> BootloaderEmulator::flash() const
{
    std::lock_guard lock(mutex_);
    return flash_;
}

std::vector<std::uint8_t> BootloaderEmulator::image() const
{
    std::lock_guard lock(mutex_);
    return {flash_.begin(), flash_.begin() + static_cast<std::ptrdiff_t>(highestWritten_)};
}

std::array<std::uint8_t, 8> BootloaderEmulator::optionBlock() const
{
    std::lock_guard lock(mutex_);
    return option_;
}

std::uint16_t BootloaderEmulator::serialNumber() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::uint16_t>(option_[6] << 8 | option_[7]);
}

std::uint8_t BootloaderEmulator::sensorCode() const
{
    std::lock_guard lock(mutex_);
    return option_[4];
}

std::uint8_t BootloaderEmulator::mark() const
{
    std::lock_guard lock(mutex_);
    return status_[3];
}

int BootloaderEmulator::finishCount() const
{
    std::lock_guard lock(mutex_);
    return finishCount_;
}

int BootloaderEmulator::eraseCount() const
{
    std::lock_guard lock(mutex_);
    return eraseCount_;
}

void BootloaderEmulator::setMark(std::uint8_t mark)
{
    std::lock_guard lock(mutex_);
    status_[3] = mark;
}

void BootloaderEmulator::setStatusByte0(std::uint8_t value)
{
    std::lock_guard lock(mutex_);
    status_[0] = value;
}

void BootloaderEmulator::setOptionBlock(const std::array<std::uint8_t, 8>& block)
{
    std::lock_guard lock(mutex_);
    option_ = block;
}

void BootloaderEmulator::setRecording(bool on)
{
    std::lock_guard lock(mutex_);
    recording_ = on;
}

std::vector<BootloaderEmulator::Report> BootloaderEmulator::reports() const
{
    std::lock_guard lock(mutex_);
    return reports_;
}

std::vector<std::vector<std::uint8_t>> BootloaderEmulator::sentReports(std::uint8_t reportId, std::uint8_t code) const
{
    std::lock_guard lock(mutex_);
    std::vector<std::vector<std::uint8_t>> result;
    for (const auto& r : reports_)
        if (r.set && r.bytes.size() >= 2 && r.bytes[0] == reportId && r.bytes[1] == code) result.push_back(r.bytes);
    return result;
}

void BootloaderEmulator::refuseAll(bool on)
{
    std::lock_guard lock(mutex_);
    refuseAll_ = on;
}

void BootloaderEmulator::refuseCommand(std::uint8_t reportId, std::uint8_t code, int times)
{
    std::lock_guard lock(mutex_);
    refusals_.push_back({reportId, code, times});
}

void BootloaderEmulator::flipReadBack(std::size_t address, Flip mode)
{
    std::lock_guard lock(mutex_);
    flipAddress_ = address;
    flipOn_ = true;
    flipAlways_ = mode == Flip::Always;
}

}  // namespace zr417::emu
