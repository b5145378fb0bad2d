#include "device/emu/keyboard_emulator.h"

#include "config/image.h"
#include "config/keys.h"
#include "config/lighting.h"
#include "device/input_listener.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zr417::emu {
namespace {

constexpr std::uint8_t kHostActionCode = 0xFA;
constexpr std::array<std::uint8_t, 8> kFileMagic{'Z', 'R', '4', '1', '7', 'S', 'I', 'M'};
constexpr std::uint8_t kFileVersion = 1;
constexpr std::uint8_t kBootloaderEntryReportId = 5;

// Index into kCollectionNumbers of each collection.
constexpr std::size_t kCommand = 0, kData = 1, kMatrix = 2, kInput = 3;

}  // namespace

KeyboardEmulator::KeyboardEmulator(const KeyboardIdentity& identity)
    : identity_(identity), memory_(FactoryMemory(identity.model))
{
}

KeyboardEmulator::~KeyboardEmulator()
{
    flush();
}

KeyboardEmulator::Memory KeyboardEmulator::FactoryMemory(std::uint8_t model)
{
    Memory m;
    for (int g = 0; g < 256; ++g) m.groups[g] = {3, 0x53, static_cast<std::uint8_t>(g), 0, 0, 0, 0, 0};
    // Static, full brightness, white; the second zone off.
    const Model lighting = ModelOf(model);
    m.groups[0] = {3, 0x53, 0, StaticEffect(lighting), kMaxBrightness, 3, colour::kWhite, direction::kRight};
    m.groups[6] = {3, 0x53, 6, ZoneOffMode(lighting), kMaxZoneBrightness, 2, colour::kWhite, direction::kRight};
    // Every key sends its own device code: plane 0 only.
    for (int key = 0; key < kKeyCount; ++key) m.matrix[g_matrixPosByKey[key]] = KeyCode(g_defaultVkByKey[key]);
    return m;
}

KeyboardEmulator::Memory KeyboardEmulator::memory() const
{
    std::lock_guard lock(mutex_);
    return memory_;
}

void KeyboardEmulator::setMemory(const Memory& m)
{
    std::lock_guard lock(mutex_);
    memory_ = m;
    dirty_ = true;
}

void KeyboardEmulator::setFirmwareVersion(std::uint8_t major, std::uint8_t minor)
{
    std::lock_guard lock(mutex_);
    memory_.fwMajor = major;
    memory_.fwMinor = minor;
    dirty_ = true;
}

int KeyboardEmulator::selectedPage() const
{
    std::lock_guard lock(mutex_);
    return selectedPage_;
}

KeyboardEmulator::Counters KeyboardEmulator::counters() const
{
    std::lock_guard lock(mutex_);
    return counters_;
}

void KeyboardEmulator::setBootloaderFactory(SuccessorFactory factory)
{
    std::lock_guard lock(mutex_);
    bootloaderFactory_ = std::move(factory);
}

std::shared_ptr<EmulatedDevice> KeyboardEmulator::takeSuccessor()
{
    std::lock_guard lock(mutex_);
    return std::exchange(successor_, nullptr);
}

std::vector<EmulatedDevice::Collection> KeyboardEmulator::collections() const
{
    std::vector<Collection> result(4);
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i].interfaceNumber = 1;
        result[i].collectionNumber = kCollectionNumbers[i];
        result[i].usagePage = 0xFF00;
        result[i].usage = static_cast<std::uint16_t>(kCollectionNumbers[i]);
    }
    // The command collection also declares the bootloader-entry report, at
    // its own length: a hidraw handle sends no report its node does not declare.
    result[kCommand].reports = {{kCommandReportId, kCommandReportLength, 0, 0},
                                {kBootloaderEntryReportId, kCommandReportLength, 0, 0}};
    result[kData].reports = {{kDataReportId, kDataReportLength, 0, 0}};
    result[kMatrix].reports = {{kMatrixReportId, kMatrixReportLength, 0, 0}};
    result[kInput].reports = {{kInputReportId, 0, kInputReportLength, 0}};
    return result;
}

bool KeyboardEmulator::takeFault(Fault& f, int collection) const
{
    if (f.count == 0) return false;
    if (f.collection >= 0 && f.collection != collection) return false;
    if (f.page >= 0 && (collection != 4 || f.page != selectedPage_)) return false;
    if (f.count > 0) --f.count;
    return true;
}

bool KeyboardEmulator::setFeature(std::size_t index, const std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(mutex_);
    if (index >= kInput || length == 0) return false;
    ++counters_.sets;
    if (takeFault(faults_.refuseSet, kCollectionNumbers[index])) return false;
    // Start the bootloader (the report may be sent on any handle of the interface).
    if (data[0] == kBootloaderEntryReportId && length >= 2 && data[1] == 0x75) {
        if (bootloaderFactory_) successor_ = bootloaderFactory_();
        return true;
    }
    switch (index) {
        case kCommand:
            if (length != kCommandReportLength || data[0] != kCommandReportId) return false;
            command(data);
            return true;
        case kData:
            if (length != kDataReportLength || data[0] != kDataReportId) return false;
            std::memcpy(memory_.pages[selectedPage_].data(), data + 1, kPageDataSize);
            ++counters_.pageSets[selectedPage_];
            dirty_ = true;
            return true;
        case kMatrix:
            if (length != kMatrixReportLength || data[0] != kMatrixReportId) return false;
            std::memcpy(memory_.matrix.data(), data + 1, kMatrixDataSize);
            ++counters_.matrixSets;
            dirty_ = true;
            return true;
    }
    return false;
}

void KeyboardEmulator::command(const std::uint8_t* r)
{
    std::copy_n(r, 8, reply_.begin());
    switch (r[1]) {
        case 0x4D:  // select the data page
            selectedPage_ = r[2];
            break;
        case 0x50:  // status flags: Win Lock, Game Mode off
            memory_.statusFlags = r[3] & 0x03;
            dirty_ = true;
            break;
        case 0x51:
            if (r[2] == 7) {  // status, or LED power when byte 3 holds a power code
                if (r[3] == 0x5A)
                    memory_.ledOn = false;
                else if (r[3] == 0xA5)
                    memory_.ledOn = true;
                std::uint8_t flags = memory_.statusFlags;
                if (r[3] == 0x5A || r[3] == 0xA5)
                    flags = static_cast<std::uint8_t>((flags & ~1) | (memory_.ledOn ? 0 : 1));
                reply_ = {3, 0x51, 7, r[3], memory_.fwMajor, memory_.fwMinor, 0, flags};
            } else {
                reply_ = memory_.groups[r[2]];
                if (faults_.groupReplyByte51) reply_[1] = 0x51;
            }
            break;
        case 0x52:  // reset to factory settings
            if (r[2] == 0x5A) {
                Memory fresh = FactoryMemory(identity_.model);
                fresh.fwMajor = memory_.fwMajor;
                fresh.fwMinor = memory_.fwMinor;
                memory_ = fresh;
                dirty_ = true;
            }
            break;
        case 0x53:  // write an LED group
            std::copy_n(r, 8, memory_.groups[r[2]].begin());
            dirty_ = true;
            break;
        default:
            break;
    }
}

bool KeyboardEmulator::getFeature(std::size_t index, std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(mutex_);
    if (index >= kInput || length == 0) return false;
    ++counters_.gets;
    int collection = kCollectionNumbers[index];
    if (takeFault(faults_.refuseGet, collection)) return false;
    switch (index) {
        case kCommand:
            if (length != kCommandReportLength || data[0] != kCommandReportId) return false;
            std::copy(reply_.begin(), reply_.end(), data);
            break;
        case kData:
            if (length != kDataReportLength || data[0] != kDataReportId) return false;
            std::memcpy(data + 1, memory_.pages[selectedPage_].data(), kPageDataSize);
            break;
        case kMatrix:
            if (length != kMatrixReportLength || data[0] != kMatrixReportId) return false;
            std::memcpy(data + 1, memory_.matrix.data(), kMatrixDataSize);
            break;
        default:
            return false;
    }
    if (takeFault(faults_.wrongReadBack, collection)) data[index == kCommand ? 3 : 1] ^= 0x5A;
    return true;
}

std::optional<std::pair<int, int>> KeyboardEmulator::InputBitForCode(std::uint8_t code)
{
    if (code == 0) return std::nullopt;
    for (int i = 1; i <= kInputBitmapBytes; ++i)
        for (int j = 0; j < 6; ++j)
            if (g_positionCodes[i - 1][j] == code) return std::pair{i, j};
    return std::nullopt;
}

bool KeyboardEmulator::pressKey(int matrixPos)
{
    if (matrixPos < 0 || matrixPos >= static_cast<int>(settings::PlaneSize)) return false;
    {
        std::lock_guard lock(mutex_);
        if (memory_.matrix[matrixPos] != kHostActionCode) return false;
    }
    auto key = std::find(g_matrixPosByKey.begin(), g_matrixPosByKey.end(), matrixPos);
    if (key == g_matrixPosByKey.end()) return false;
    auto bit = InputBitForCode(KeyCode(g_defaultVkByKey[key - g_matrixPosByKey.begin()]));
    if (!bit) return false;
    std::vector<std::uint8_t> report(kInputReportLength, 0);
    report[0] = kInputReportId;
    report[bit->first] = static_cast<std::uint8_t>(1u << bit->second);
    sendInput(kInput, report);
    std::fill(report.begin() + 1, report.end(), 0);
    sendInput(kInput, report);
    return true;
}

void KeyboardEmulator::persistTo(std::filesystem::path file)
{
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
    if (!loadFile()) dirty_ = true;  // write the factory memory on the next flush
}

// File layout: magic, version, model, version major/minor, status flags, LED
// on, the 256 groups, the matrix, the 256 pages.
bool KeyboardEmulator::loadFile()
{
    constexpr std::size_t expected = kFileMagic.size() + 2 + 4 + 256 * 8 + kMatrixDataSize + kPageCount * kPageDataSize;
    auto bytes = ReadFileBytes(*file_, expected + 1);
    if (!bytes || bytes->size() != expected || !std::equal(kFileMagic.begin(), kFileMagic.end(), bytes->begin()))
        return false;
    const std::uint8_t* p = bytes->data() + kFileMagic.size();
    if (p[0] != kFileVersion || p[1] != identity_.model) return false;
    p += 2;
    Memory m;
    m.fwMajor = p[0];
    m.fwMinor = p[1];
    m.statusFlags = p[2] & 0x03;
    m.ledOn = p[3] != 0;
    p += 4;
    for (auto& g : m.groups) {
        std::copy_n(p, 8, g.begin());
        p += 8;
    }
    std::copy_n(p, kMatrixDataSize, m.matrix.begin());
    p += kMatrixDataSize;
    for (auto& page : m.pages) {
        std::copy_n(p, kPageDataSize, page.begin());
        p += kPageDataSize;
    }
    memory_ = m;
    return true;
}

bool KeyboardEmulator::flush()
{
    std::lock_guard lock(mutex_);
    if (!file_ || !dirty_) return true;
    std::vector<std::uint8_t> out(kFileMagic.begin(), kFileMagic.end());
    out.push_back(kFileVersion);
    out.push_back(identity_.model);
    out.insert(out.end(),
               {memory_.fwMajor, memory_.fwMinor, memory_.statusFlags, static_cast<std::uint8_t>(memory_.ledOn)});
    for (const auto& g : memory_.groups) out.insert(out.end(), g.begin(), g.end());
    out.insert(out.end(), memory_.matrix.begin(), memory_.matrix.end());
    for (const auto& page : memory_.pages) out.insert(out.end(), page.begin(), page.end());
    std::error_code ec;
    std::filesystem::create_directories(file_->parent_path(), ec);
    if (!WriteFileAtomic(*file_, out)) return false;
    dirty_ = false;
    return true;
}

}  // namespace zr417::emu
