#include "updater/flashing.h"

#include "platform/files.h"
#include "updater/hex_image.h"
#include "updater/tool_texts.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zr417::updater {

namespace {

class NullStatus : public StatusControl {
public:
    void SetLine1(const std::string&) override {}
    void SetLine2(const std::string&) override {}
    void SetColour(int) override {}
    void Redraw(bool) override {}
};

using Report6 = std::array<std::uint8_t, kCommandReportLength>;

bool SendCommand(hid::Device& device, Report6 report)
{
    return device.setFeature(report.data(), report.size());
}

Report6 LengthSetup(std::uint8_t code, std::size_t length)
{
    return {kCommandReportId,
            code,
            0x00,
            0x00,
            static_cast<std::uint8_t>(length & 0xFF),
            static_cast<std::uint8_t>((length >> 8) & 0xFF)};
}

// Progress of chunk i out of length / 2048, as the status line shows it.
double Percent(std::size_t i, std::size_t length)
{
    float p = static_cast<float>((i + 1) * kChunkSize) / static_cast<float>(length) * 100.0f;
    return static_cast<double>(p);
}

// The 2048 bytes of chunk i of the image, zero-filled past its end.
void CopyChunk(std::span<const std::uint8_t> image, std::size_t i, std::uint8_t* out)
{
    std::memset(out, 0, kChunkSize);
    std::size_t offset = i * kChunkSize;
    if (offset < image.size()) std::memcpy(out, image.data() + offset, std::min(kChunkSize, image.size() - offset));
}

class BurnStatus {
public:
    BurnStatus(BurnHost& host, StatusControl* control) : host_(host), control_(control ? *control : null_) {}

    void Line1(ToolText row)
    {
        control_.SetLine1(Text(row, host_.Language()));
        control_.Redraw(false);
    }
    void Line2(const std::string& text)
    {
        control_.SetLine2(text);
        control_.Redraw(false);
    }
    void Progress(ToolText row, double percent)
    {
        control_.SetLine1(FormatText(row, host_.Language(), percent));
        control_.Redraw(true);
    }

private:
    BurnHost& host_;
    NullStatus null_;
    StatusControl& control_;
};

}  // namespace

int CyclesLeft(std::uint8_t mark)
{
    switch (mark) {
        case 0x00:
            return 8;
        case 0x01:
            return 7;
        case 0x03:
            return 6;
        case 0x07:
            return 5;
        case 0x0F:
            return 4;
        case 0x1F:
            return 3;
        case 0x3F:
            return 2;
        case 0x7F:
            return 1;
        default:
            return 0;
    }
}

bool IsBootloaderDataCollection(const hid::CollectionInfo& info)
{
    return info.usagePage == kVendorUsagePage && info.vendorId == kBootloaderVid && info.productId == kBootloaderPid &&
           info.featureReportLength() == kDataReportLength;
}

int EnumerateDevices(hid::Bus& bus, std::uint16_t vid, std::uint16_t pid, FoundDevices& found)
{
    found = {};
    std::size_t dataCount = 0;
    std::size_t commandCount = 0;
    for (const auto& info : bus.enumerate()) {
        if (info.usagePage != kVendorUsagePage) continue;
        const std::uint16_t featureLength = info.featureReportLength();
        const bool bootloader = info.vendorId == kBootloaderVid && info.productId == kBootloaderPid;
        const bool isData = IsBootloaderDataCollection(info);
        const bool isCommand = bootloader && featureLength == kCommandReportLength;
        const bool isKeyboard = !isData && !isCommand && info.vendorId == vid && info.productId == pid;
        if (!isData && !isCommand && !isKeyboard) continue;
        // A collection that cannot be opened is passed over.
        auto device = bus.open(info.path);
        if (!device) continue;
        if (isData) {
            if (dataCount < found.data.size()) found.data[dataCount++] = info.path;
        } else if (isCommand) {
            if (commandCount < found.command.size()) found.command[commandCount++] = info.path;
        } else if (featureLength >= 2) {
            std::vector<std::uint8_t> report(featureLength, 0);
            report[0] = kCommandReportId;
            report[1] = kCmdEnterBootloader;
            device->setFeature(report.data(), report.size());
        }
    }
    return static_cast<int>(dataCount);
}

ProbeResult ProbeDevice(hid::Bus& bus, const std::string& dataPath)
{
    auto device = bus.open(dataPath);
    if (!device) return {};
    if (!SendCommand(*device, {kCommandReportId, kCmdReadSetup, 0xF0, 0xFC, 0x04, 0x00})) return {};
    Report6 answer{kCommandReportId, kCmdRead, 0, 0, 0, 0};
    if (!device->getFeature(answer.data(), answer.size())) return {};
    if (answer[2] != 0x61) return {};
    return {true, CyclesLeft(answer[5])};
}

StepResult SendImage(BurnHost& host, const BurnJob& job, hid::Device& data, hid::Device& command,
                     std::span<const std::uint8_t> image, std::size_t length)
{
    BurnStatus status(host, job.statusControl);
    const Report6 setup = LengthSetup(kCmdWriteSetup, length);
    if (!SendCommand(command, setup)) return StepResult::Failed;
    std::array<std::uint8_t, kDataReportLength> report{};
    report[0] = kDataReportId;
    report[1] = kCmdWrite;
    if (host.IsStopRequested(job.slot)) return StepResult::Stopped;
    const std::size_t chunks = length / kChunkSize;
    for (std::size_t i = 0; i < chunks; ++i) {
        CopyChunk(image, i, report.data() + 2);
        // The first byte stays 0x00 until everything else is in the flash,
        // so an interrupted burn never leaves an image that looks complete.
        if (i == 0) report[2] = 0x00;
        bool sent = data.setFeature(report.data(), report.size());
        if (host.IsStopRequested(job.slot)) return StepResult::Stopped;
        if (!sent) return StepResult::Failed;
        status.Progress(ToolText::SendData, Percent(i, length));
        if (host.IsStopRequested(job.slot)) return StepResult::Stopped;
    }
    // Last, the first chunk once more with its real first byte.
    SendCommand(command, setup);
    CopyChunk(image, 0, report.data() + 2);
    data.setFeature(report.data(), report.size());
    return StepResult::Done;
}

StepResult VerifyImage(BurnHost& host, const BurnJob& job, hid::Device& data, hid::Device& command,
                       std::span<const std::uint8_t> image, std::size_t length)
{
    BurnStatus status(host, job.statusControl);
    bool setupOk = SendCommand(command, LengthSetup(kCmdReadSetup, length));
    if (host.IsStopRequested(job.slot)) return StepResult::Stopped;
    if (!setupOk) return StepResult::Failed;
    std::array<std::uint8_t, kDataReportLength> report{};
    std::array<std::uint8_t, kChunkSize> expected{};
    const std::size_t chunks = length / kChunkSize;
    for (std::size_t i = 0; i < chunks; ++i) {
        if (host.IsStopRequested(job.slot)) return StepResult::Stopped;
        report.fill(0);
        report[0] = kDataReportId;
        report[1] = kCmdRead;
        if (!data.getFeature(report.data(), report.size())) return StepResult::Failed;
        status.Progress(ToolText::ReadData, Percent(i, length));
        CopyChunk(image, i, expected.data());
        if (std::memcmp(expected.data(), report.data() + 2, kChunkSize) != 0) return StepResult::Failed;
    }
    host.Wait(kVerifiedWait);
    return StepResult::Done;
}

bool WriteOptionBlock(BurnHost& host, const BurnJob& job, hid::Device& command)
{
    SendCommand(command, {kCommandReportId, kCmdReadSetup, 0x80, 0xFF, 0x08, 0x00});
    Report6 first{kCommandReportId, kCmdRead, 0, 0, 0, 0};
    // Without the block's first four bytes, erasing it would lose them.
    if (!command.getFeature(first.data(), first.size())) return false;
    Report6 second{kCommandReportId, kCmdRead, 0, 0, 0, 0};
    command.getFeature(second.data(), second.size());
    SendCommand(command, {kCommandReportId, kCmdEraseOption, 0xFF, 0x00, 0x00, 0x00});
    host.Wait(kOptionEraseWait);
    SendCommand(command, {kCommandReportId, kCmdWriteSetup, 0x80, 0xFF, 0x08, 0x00});
    SendCommand(command, {kCommandReportId, kCmdWrite, first[2], first[3], first[4], first[5]});
    host.Wait(kOptionRestoreWait);
    return SendCommand(
        command, {kCommandReportId, kCmdWrite, static_cast<std::uint8_t>(job.sensorCode), 0x00,
                  static_cast<std::uint8_t>((job.serial >> 8) & 0xFF), static_cast<std::uint8_t>(job.serial & 0xFF)});
}

BurnOutcome DoBurn(hid::Bus& bus, BurnHost& host, const BurnJob& job)
{
    BurnStatus status(host, job.statusControl);
    status.Line1(ToolText::OpenDevice);
    if (host.IsStopRequested(job.slot)) return BURN_STOPPED;
    auto data = bus.open(job.dataPath);
    auto command = bus.open(job.commandPath);
    if (!data) {
        status.Line1(ToolText::OpenDeviceFail);
        return BURN_FAILED;
    }
    status.Line1(ToolText::OpenIsOk);

    ProbeResult probe = host.RecordedProbe(job.slot);
    if (probe.answered && probe.cyclesLeft == 0) {
        status.Line1(ToolText::LeftNumZero);
        status.Line2("");
        return BURN_FAILED;
    }

    // The image is read whole (it is at most 60 KiB), so it cannot change
    // between sending and reading back, and before the erase, so a device is
    // never erased for an image that cannot be sent.
    auto image = ReadFileBytes(job.imagePath, kImageLimit + 1);
    if (!image || image->empty()) {
        // An empty image would erase the device and report success.
        status.Line1(ToolText::OpenFileFail);
        return BURN_FAILED;
    }
    if (image->size() > kImageLimit) {
        status.Line1(ToolText::FileTooBig);
        return BURN_FAILED;
    }
    const std::size_t length = (image->size() + kChunkSize - 1) / kChunkSize * kChunkSize;

    if (host.IsStopRequested(job.slot)) return BURN_STOPPED;
    Report6 erase;
    erase.fill(kCmdEraseFlash);
    erase[0] = kCommandReportId;
    if (!command || !SendCommand(*command, erase)) {
        status.Line1(ToolText::EraseFail);
        return BURN_FAILED;
    }
    status.Line1(ToolText::Erasing);
    status.Line2("");
    if (host.IsStopRequested(job.slot)) return BURN_STOPPED;
    host.Wait(kEraseWait);
    if (host.IsStopRequested(job.slot)) return BURN_STOPPED;

    // A stop inside a step ends the burn there: the slot may already belong
    // to another device, whose status line this burn must not touch.
    StepResult sent = StepResult::Failed;
    for (int attempt = 0; attempt < kSendAttempts && sent == StepResult::Failed; ++attempt)
        sent = SendImage(host, job, *data, *command, *image, length);
    if (sent == StepResult::Stopped) return BURN_STOPPED;
    if (sent == StepResult::Failed) {
        status.Line1(ToolText::SendDataFail);
        return BURN_FAILED;
    }

    if (host.IsStopRequested(job.slot)) return BURN_STOPPED;
    StepResult verified = StepResult::Failed;
    for (int attempt = 0; attempt < kVerifyAttempts && verified == StepResult::Failed; ++attempt)
        verified = VerifyImage(host, job, *data, *command, *image, length);
    if (verified == StepResult::Stopped) return BURN_STOPPED;
    if (verified == StepResult::Failed) {
        status.Line1(ToolText::ReadBackFail);
        return BURN_FAILED;
    }

    if (host.IsStopRequested(job.slot)) return BURN_STOPPED;
    if (!WriteOptionBlock(host, job, *command)) {
        status.Line1(ToolText::BurnFail);
        return BURN_FAILED;
    }

    Report6 finish;
    finish.fill(kCmdFinish);
    finish[0] = kCommandReportId;
    if (!SendCommand(*command, finish)) {
        status.Line1(ToolText::BurnFail);
        return BURN_FAILED;
    }
    return BURN_OK;
}

}  // namespace zr417::updater
