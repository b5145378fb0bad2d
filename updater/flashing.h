// The update tool's device side: finding bootloaders (and sending keyboards
// in normal mode into theirs), probing the programming cycles left, and the
// burn of one device over HID feature reports.
#pragma once

#include "device/hid.h"
#include "updater/tool_settings.h"
#include "updater/tool_ui.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace zr417::updater {

constexpr std::uint16_t kBootloaderVid = 0x0603;
constexpr std::uint16_t kBootloaderPid = 0x1020;
constexpr std::uint16_t kVendorUsagePage = 0xFF00;
constexpr std::size_t kDataReportLength = 2050;  // report 6: id, command, 2048 bytes
constexpr std::size_t kCommandReportLength = 6;  // report 5: id, command, 4 bytes
constexpr std::size_t kChunkSize = 2048;
constexpr std::uint8_t kCommandReportId = 0x05;
constexpr std::uint8_t kDataReportId = 0x06;

// Command codes (byte 1 of a report).
constexpr std::uint8_t kCmdEnterBootloader = 0x75;  // 'u'
constexpr std::uint8_t kCmdReadSetup = 0x52;        // 'R'
constexpr std::uint8_t kCmdRead = 0x72;             // 'r'
constexpr std::uint8_t kCmdWriteSetup = 0x57;       // 'W'
constexpr std::uint8_t kCmdWrite = 0x77;            // 'w'
constexpr std::uint8_t kCmdEraseOption = 0x65;      // 'e'
constexpr std::uint8_t kCmdEraseFlash = 0x45;       // 'E'
constexpr std::uint8_t kCmdFinish = 0x55;           // 'U'

// Fixed waits of a burn.
constexpr std::chrono::milliseconds kEraseWait{2000};
constexpr std::chrono::milliseconds kOptionEraseWait{200};
constexpr std::chrono::milliseconds kOptionRestoreWait{100};
constexpr std::chrono::milliseconds kVerifiedWait{100};

constexpr int kSendAttempts = 5;
constexpr int kVerifyAttempts = 10;

// Programming-cycle mark -> cycles left: 0x00 -> 8, 0x01 -> 7 ... 0x7F -> 1;
// 0xFF and every value not of the form 2^k - 1 -> 0.
int CyclesLeft(std::uint8_t mark);

// The paths of one enumeration: entry i of both lists belongs to one device.
struct FoundDevices {
    std::array<std::string, kSlotCount> data;
    std::array<std::string, kSlotCount> command;
};

// A bootloader's data collection (its 2050-byte report), as the
// enumeration recognises it.
bool IsBootloaderDataCollection(const hid::CollectionInfo& info);

// Lists the bootloaders' data and command collections and sends the
// bootloader-entry report to every keyboard of the given identity in normal
// mode. Returns the number of data collections found (0-16).
int EnumerateDevices(hid::Bus& bus, std::uint16_t vid, std::uint16_t pid, FoundDevices& found);

struct ProbeResult {
    bool answered = false;
    int cyclesLeft = 0;
};

// Reads the bootloader's status word through its data collection.
ProbeResult ProbeDevice(hid::Bus& bus, const std::string& dataPath);

enum BurnOutcome : int { BURN_OK = 0, BURN_STOPPED = 1, BURN_FAILED = 2 };

// Everything one burn needs to know.
struct BurnJob {
    std::string dataPath;
    std::string commandPath;
    std::int8_t slot = -1;
    StatusControl* statusControl = nullptr;
    std::string imagePath;
    std::uint16_t pid = 0;
    std::uint16_t vid = 0;
    std::uint32_t serial = 0;  // low 16 bits reach the device
    bool increase = true;
    int sensorCode = 1;  // 1-4
};

// What a burn reads of the tool around it.
class BurnHost {
public:
    virtual ~BurnHost() = default;
    // True when the slot is no longer burning its device (it was freed and
    // handed to another device, or the tool is closing).
    virtual bool IsStopRequested(int slot) = 0;
    // The probe result recorded when the slot got its device.
    virtual ProbeResult RecordedProbe(int slot) = 0;
    virtual int Language() = 0;
    // The burn's fixed waits.
    virtual void Wait(std::chrono::milliseconds duration) = 0;
};

// Runs the whole burn of one device on the calling thread.
BurnOutcome DoBurn(hid::Bus& bus, BurnHost& host, const BurnJob& job);

// How one step of a burn ended. Stopped: the slot asked the burn to stop
// (IsStopRequested) while the step ran; the step left off at once and the
// burn must end without touching the device again.
enum class StepResult { Done, Failed, Stopped };

// The steps of a burn; `image` is the image file's content, `length` the
// streamed length (a multiple of 2048). Exposed for tests.
// SendImage: Failed when the write set-up or a chunk is refused (the caller
// retries from the set-up).
StepResult SendImage(BurnHost& host, const BurnJob& job, hid::Device& data, hid::Device& command,
                     std::span<const std::uint8_t> image, std::size_t length);
// VerifyImage: Failed when the read set-up or a read is refused, or a chunk
// differs from the image.
StepResult VerifyImage(BurnHost& host, const BurnJob& job, hid::Device& data, hid::Device& command,
                       std::span<const std::uint8_t> image, std::size_t length);
// Never asks for a stop: false when the block's first bytes cannot be read
// (it is left unerased) or the last write is refused.
bool WriteOptionBlock(BurnHost& host, const BurnJob& job, hid::Device& command);

}  // namespace zr417::updater
