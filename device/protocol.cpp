#include "device/protocol.h"

#include "config/lighting.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zr417 {
namespace {

using Report8 = std::array<std::uint8_t, 8>;
using Page = std::array<std::uint8_t, kDataReportLength>;

constexpr std::uint8_t kCmdSelectPage = 0x4D;
constexpr std::uint8_t kCmdStatusFlags = 0x50;
constexpr std::uint8_t kCmdRead = 0x51;
constexpr std::uint8_t kCmdReset = 0x52;
constexpr std::uint8_t kCmdWriteGroup = 0x53;
constexpr std::uint8_t kStatusGroup = 7;

constexpr std::size_t kPageDataSize = 512;

Report8 command(std::uint8_t code, std::uint8_t b2 = 0, std::uint8_t b3 = 0)
{
    return {kCommandReportId, code, b2, b3, 0, 0, 0, 0};
}

std::uint8_t* macroPage(ConfigImage& image, int n)
{
    return image.settings.data() + settings::MacroPages + settings::PageSize * n;
}

std::uint8_t* picturePage(ConfigImage& image, int k)
{
    return image.settings.data() + settings::PicturePages + settings::PageSize * k;
}

}  // namespace

void ConvertMacroDelays(std::uint8_t* data)
{
    if (data[3] == 0) return;
    for (std::size_t k = 0; 5 + 4 * k < kPageDataSize && data[3 + 4 * k] != 0; ++k) {
        unsigned v = data[4 + 4 * k] * 256u + data[5 + 4 * k];
        if (v != 0) v = (v >> 3) + 1;
        data[4 + 4 * k] = static_cast<std::uint8_t>(v >> 8);
        data[5 + 4 * k] = static_cast<std::uint8_t>(v & 0xFF);
    }
}

KeyboardProtocol::KeyboardProtocol(DeviceLink& link, ConfigImage& image, PauseFn pause,
                                   std::function<void(int)> refresh)
    : link_(&link), image_(image), pause_(pause ? std::move(pause) : PauseFn(RealPause)), refresh_(std::move(refresh))
{
}

KeyboardProtocol::KeyboardProtocol(const DeviceHandles& handles, ConfigImage& image, PauseFn pause)
    : pinned_(handles), image_(image), pause_(pause ? std::move(pause) : PauseFn(RealPause))
{
}

DeviceHandles KeyboardProtocol::handles() const
{
    return pinned_ ? *pinned_ : link_->handles();
}

void KeyboardProtocol::pause(int ms)
{
    auto command = handles().command;
    if (command && command->connected()) pause_(std::chrono::milliseconds(ms));
}

bool KeyboardProtocol::setCommand(const Report8& report, bool repeat)
{
    return DeviceLink::SetReport(handles().command.get(), report.data(), report.size(), repeat);
}

bool KeyboardProtocol::getCommand(Report8& reply, bool repeat)
{
    return DeviceLink::GetReport(handles().command.get(), kCommandReportId, reply.data(), reply.size(), repeat);
}

void KeyboardProtocol::storeStatus(const Report8& r)
{
    g_abStatusReply = r;
    auto& s = image_.settings;
    s[settings::StatusCopy + 0] = r[3];
    s[settings::StatusCopy + 1] = r[6];
    s[settings::StatusCopy + 2] = r[2];
    s[settings::StatusCopy + 3] = r[4];
    s[settings::StatusCopy + 4] = r[5];
    s[settings::WinLock] = r[7] & 1;
    s[settings::GameMode] = (r[7] & 2) ? 0 : 1;
}

void KeyboardProtocol::copyFirmwareVersion()
{
    g_nFwMajor = g_abStatusReply[4];
    g_nFwMinor = g_abStatusReply[5];
}

void KeyboardProtocol::ReadStatus()
{
    bool asked = setCommand(command(kCmdRead, kStatusGroup), false);
    Report8 reply = command(kCmdRead, kStatusGroup);
    // Only a fresh answer counts: after a refused request the keyboard's
    // reply buffer still holds the answer to some earlier command. Neither a
    // refused request nor a failed read stores anything: the image keeps its
    // flags and the firmware version stays what it was.
    bool answered = getCommand(reply, false);
    if (asked && answered)
        storeStatus(reply);
    else
        ++failures_;
    pause(10);
}

void KeyboardProtocol::WriteStatusFlags()
{
    std::uint8_t flags = (image_.at(settings::WinLock) == 1 ? 1 : 0) | (image_.at(settings::GameMode) != 1 ? 2 : 0);
    setCommand(command(kCmdStatusFlags, 0, flags), true);
    pause(10);
}

void KeyboardProtocol::ReadLedGroup(int group)
{
    auto g = static_cast<std::uint8_t>(group);
    setCommand(command(kCmdRead, g), true);
    Report8 reply = command(kCmdRead, g);
    if (!getCommand(reply, true)) {
        ++failures_;
        return;
    }
    if (g == 0) {
        std::copy_n(reply.begin() + 3, settings::LedGroupSize, image_.settings.begin() + settings::LedGroup0);
        SetMainEffect(image_, FromKeyboard(handles().model, MainEffect(image_)));
    } else if (g == 6) {
        std::copy_n(reply.begin() + 3, settings::LedGroupSize, image_.settings.begin() + settings::LedGroup6);
    }
}

void KeyboardProtocol::WriteLedGroup(int group)
{
    auto g = static_cast<std::uint8_t>(group);
    const Model model = handles().model;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Trace("SetLedType Data \n");
        Report8 sent = command(kCmdWriteGroup, g);
        if (g >= 6) {
            std::copy_n(image_.settings.begin() + settings::LedGroup6, settings::LedGroupSize, sent.begin() + 3);
        } else {
            SetMainEffect(image_, ToKeyboard(model, MainEffect(image_)));
            std::copy_n(image_.settings.begin() + settings::LedGroup0, settings::LedGroupSize, sent.begin() + 3);
        }
        setCommand(sent, true);
        pause(20);
        setCommand(command(kCmdRead, g), true);
        Report8 reply = command(kCmdRead, g);
        // Byte 1 included: the keyboard must answer with the very report it got.
        if (getCommand(reply, true) && reply == sent) {
            Trace("Data OK\n");
            return;
        }
        Trace("Data Not OK\n");
    }
    ++failures_;
}

void KeyboardProtocol::SetLedPower(std::uint8_t code)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        Trace("SetLedTypeOFF Data \n");
        setCommand(command(kCmdRead, kStatusGroup, code), true);
        pause(20);
        Report8 reply = command(kCmdRead, kStatusGroup, code);
        if (getCommand(reply, false)) {
            bool off = reply[7] & 1;
            if (off && code == kLedPowerOff) {
                Trace("LED OFF OK\n");
                return;
            }
            if (!off && code == kLedPowerOn) {
                Trace("LED ON OK\n");
                return;
            }
        }
        Trace("Data Not OK\n");
    }
    ++failures_;
}

void KeyboardProtocol::ResetKeyboard()
{
    setCommand(command(kCmdReset, 0x5A), false);
    pause(10);
}

void KeyboardProtocol::SelectPage(int page)
{
    setCommand(command(kCmdSelectPage, static_cast<std::uint8_t>(page)), true);
    pause(10);
}

void KeyboardProtocol::ReadKeyMatrix()
{
    std::array<std::uint8_t, kMatrixReportLength> report{};
    if (DeviceLink::GetReport(handles().matrix.get(), kMatrixReportId, report.data(), report.size(), true))
        std::copy(report.begin(), report.end(), image_.settings.begin() + settings::KeyMatrix);
    else
        ++failures_;  // keep the image's matrix rather than store an empty one
    pause(20);
}

void KeyboardProtocol::WriteKeyMatrix()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::array<std::uint8_t, kMatrixReportLength> sent;
        std::copy_n(image_.settings.begin() + settings::KeyMatrix, sent.size(), sent.begin());
        sent[0] = kMatrixReportId;  // an image never read from a keyboard holds 0 here
        auto matrix = handles().matrix;
        DeviceLink::SetReport(matrix.get(), sent.data(), sent.size(), true);
        pause(20);
        std::array<std::uint8_t, kMatrixReportLength> reply{};
        bool got = DeviceLink::GetReport(matrix.get(), kMatrixReportId, reply.data(), reply.size(), true);
        pause(10);
        if (got && reply == sent) {
            Trace("Data OK(KeyMatrix)\n");
            return;
        }
        Trace("Data not OK(KeyMatrix)\n");
    }
    ++failures_;
}

void KeyboardProtocol::ReadMacroPages()
{
    for (int n = 0; n < static_cast<int>(settings::MacroPageCount); ++n) {
        SelectPage(n);
        Page page{};
        if (DeviceLink::GetReport(handles().data.get(), kDataReportId, page.data(), page.size(), false))
            std::copy(page.begin(), page.end(), macroPage(image_, n));
        else
            ++failures_;
        pause(10);
    }
    pause(10);
}

void KeyboardProtocol::ReadPicturePages()
{
    for (int k = 0; k < static_cast<int>(settings::PicturePageCount); ++k) {
        SelectPage(kFirstPicturePage + k);
        Page page{};
        if (DeviceLink::GetReport(handles().data.get(), kDataReportId, page.data(), page.size(), false))
            std::copy(page.begin(), page.end(), picturePage(image_, k));
        else
            ++failures_;
        pause(10);
    }
}

// One attempt at a data page: select, set, pause, select, get, pause, compare.
bool KeyboardProtocol::writePage(int n, std::uint8_t* imagePage, int afterGetMs, const char* ok, const char* notOk)
{
    imagePage[0] = kDataReportId;
    SelectPage(n);
    auto data = handles().data;
    DeviceLink::SetReport(data.get(), imagePage, kDataReportLength, false);
    pause(20);
    SelectPage(n);
    Page reply{};
    bool got = DeviceLink::GetReport(data.get(), kDataReportId, reply.data(), reply.size(), false);
    pause(afterGetMs);
    if (got && std::equal(reply.begin(), reply.end(), imagePage)) {
        Trace(ok);
        return true;
    }
    Trace(notOk);
    return false;
}

void KeyboardProtocol::WriteMacroPages()
{
    for (int n = 0; n < static_cast<int>(settings::MacroPageCount); ++n) {
        std::uint8_t* page = macroPage(image_, n);
        std::copy_n(image_.settings.begin() + settings::MacroSlots + settings::MacroSlotSize * n,
                    settings::MacroSlotSize, page + 1);
        ConvertMacroDelays(page + 1);
        bool written = false;
        for (int attempt = 0; attempt < 3 && !written; ++attempt)
            written = writePage(n, page, 20, "Data OK(Macro)\n", "Data not OK(Macro)\n");
        if (!written) ++failures_;
    }
}

void KeyboardProtocol::WritePicturePages()
{
    int failed = 0;  // one budget of three failures for all five pages
    for (int k = 0; k < static_cast<int>(settings::PicturePageCount); ++k) {
        bool written = false;
        while (!written && failed < 3) {
            written = writePage(kFirstPicturePage + k, picturePage(image_, k), 10, "Data OK(SetUserPicture)\n",
                                "Data not OK(SetUserPicture)\n");
            if (!written) ++failed;
        }
        if (!written) ++failures_;
    }
}

void KeyboardProtocol::ApplyEffectDefault()
{
    SetMainEffect(image_, WithEffectDefault(handles().model, MainEffect(image_)));
}

void KeyboardProtocol::DownloadAll()
{
    SetLedPower(kLedPowerOff);
    WriteStatusFlags();
    WriteKeyMatrix();
    WriteMacroPages();
    WritePicturePages();
    WriteLedGroup(6);
    WriteLedGroup(0);
    SetLedPower(kLedPowerOn);
}

void KeyboardProtocol::StartupReadout()
{
    ReadStatus();
    copyFirmwareVersion();
    ReadLedGroup(0);
    ReadLedGroup(6);
    ReadKeyMatrix();
    image_.at(settings::GameMode) = 1;
    ApplyEffectDefault();
    ReadMacroPages();
    ReadPicturePages();
    if (refresh_) refresh_(0);
}

void KeyboardProtocol::ArrivalReadout()
{
    WriteStatusFlags();
    ReadStatus();
    copyFirmwareVersion();
    ReadLedGroup(0);
    ReadLedGroup(6);
    ReadKeyMatrix();
    ReadMacroPages();
}

void KeyboardProtocol::ReadEverything()
{
    ReadStatus();
    ReadLedGroup(0);
    ReadLedGroup(6);
    ReadKeyMatrix();
    ReadMacroPages();
    ReadPicturePages();
}

void KeyboardProtocol::FactoryReset()
{
    ResetKeyboard();
    pause(100);
    ResetKeyboard();
    pause(1000);
    ReadStatus();
    WriteStatusFlags();
    copyFirmwareVersion();
    ReadLedGroup(0);
    ReadKeyMatrix();
    ReadMacroPages();
    ReadPicturePages();
    image_.at(settings::GameMode) = 1;
    ApplyEffectDefault();
    if (refresh_) refresh_(0);
}

const std::array<ImageRegion, 7> g_startupReadoutRegions{{
    {settings::StatusCopy, 5},
    {settings::GameMode, 1},
    {settings::WinLock, 1},
    {settings::LedGroup0, 2 * settings::LedGroupSize},
    {settings::KeyMatrix, settings::KeyMatrixSize},
    {settings::MacroPages, settings::PageSize* settings::MacroPageCount},
    {settings::PicturePages, settings::PageSize* settings::PicturePageCount},
}};

}  // namespace zr417
