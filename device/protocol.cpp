#include "device/protocol.h"

#include "config/lighting.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstring>
#include <memory>
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

// Macro page n as it goes out: the slot in data bytes 0..255, the rest of the
// image's page kept, delays converted.
Page macroPageToSend(const ConfigImage& image, int n)
{
    Page page;
    const std::uint8_t* held = image.settings.data() + settings::MacroPages + settings::PageSize * n;
    std::copy_n(held, page.size(), page.begin());
    std::copy_n(image.settings.begin() + settings::MacroSlots + settings::MacroSlotSize * n, settings::MacroSlotSize,
                page.begin() + 1);
    ConvertMacroDelays(page.data() + 1);
    page[0] = kDataReportId;
    return page;
}

// The effects only the host knows become what the keyboard shows.
void adjustGroup0(ConfigImage& image, Model model)
{
    SetMainEffect(image, ToKeyboard(model, MainEffect(image)));
}

std::uint8_t statusFlagsOf(const ConfigImage& image)
{
    return static_cast<std::uint8_t>((image.at(settings::WinLock) == 1 ? 1 : 0) |
                                     (image.at(settings::GameMode) != 1 ? 2 : 0));
}

template <typename T, std::size_t N>
void copyOut(std::optional<std::array<T, N>>& out, const std::uint8_t* from)
{
    out.emplace();
    std::copy_n(from, N, out->begin());
}

}  // namespace

KeyboardContents ContentsToSend(const ConfigImage& image, Model model)
{
    KeyboardContents c;
    c.flags = statusFlagsOf(image);
    copyOut(c.matrix, image.settings.data() + settings::KeyMatrix + 1);
    for (int n = 0; n < static_cast<int>(settings::MacroPageCount); ++n)
        copyOut(c.macroPages[n], macroPageToSend(image, n).data() + 1);
    for (int k = 0; k < static_cast<int>(settings::PicturePageCount); ++k)
        copyOut(c.colourPages[k], image.settings.data() + settings::PicturePages + settings::PageSize * k + 1);
    copyOut(c.group6, image.settings.data() + settings::LedGroup6);
    // On the heap: this runs on the session's thread, whose stack keeps
    // every page it ever touched.
    auto adjusted = std::make_unique<ConfigImage>();
    std::copy_n(image.settings.begin() + settings::LedGroup0, settings::LedGroupSize,
                adjusted->settings.begin() + settings::LedGroup0);
    adjustGroup0(*adjusted, model);
    copyOut(c.group0, adjusted->settings.data() + settings::LedGroup0);
    return c;
}

std::uint32_t SectionsToSend(const KeyboardContents& held, const KeyboardContents& wanted)
{
    auto differs = [](const auto& a, const auto& b) { return !a || !b || *a != *b; };
    std::uint32_t out = 0;
    if (differs(held.flags, wanted.flags)) out |= section::kFlags;
    if (differs(held.matrix, wanted.matrix)) out |= section::kKeyMatrix;
    for (std::size_t n = 0; n < held.macroPages.size(); ++n)
        if (differs(held.macroPages[n], wanted.macroPages[n])) out |= section::kMacroPage0 << n;
    for (std::size_t k = 0; k < held.colourPages.size(); ++k)
        if (differs(held.colourPages[k], wanted.colourPages[k])) out |= section::kColourPage0 << k;
    if (differs(held.group6, wanted.group6)) out |= section::kGroup6;
    if (differs(held.group0, wanted.group0)) out |= section::kGroup0;
    return out;
}

int PlannedReports(std::uint32_t sections)
{
    int reports = 0;
    if (sections & section::kLighting) reports += 4;  // power off and on, each set and get
    if (sections & section::kFlags) reports += 1;
    if (sections & section::kKeyMatrix) reports += 2;
    for (std::uint32_t bit = section::kMacroPage0; bit <= section::kGroup0; bit <<= 1)
        if (sections & bit) reports += (bit & (section::kMacroPages | section::kColourPages)) ? 4 : 3;
    return reports;
}

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
    status_.reply = r;
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
    status_.major = status_.reply[4];
    status_.minor = status_.reply[5];
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
    if (asked && answered) {
        storeStatus(reply);
        if (known_) known_->flags = reply[7] & 3;
    } else {
        ++failures_;
        if (known_) known_->flags.reset();
    }
    pause(10);
}

void KeyboardProtocol::WriteStatusFlags()
{
    std::uint8_t flags = statusFlagsOf(image_);
    // The keyboard does not echo the flags: a write it took is as good as a read.
    bool taken = setCommand(command(kCmdStatusFlags, 0, flags), true);
    if (known_) known_->flags = taken ? std::optional<std::uint8_t>(flags) : std::nullopt;
    pause(10);
}

void KeyboardProtocol::ReadLedGroup(int group)
{
    auto g = static_cast<std::uint8_t>(group);
    bool asked = setCommand(command(kCmdRead, g), true);
    Report8 reply = command(kCmdRead, g);
    std::optional<KeyboardContents::GroupBytes>* known = knownGroup(g);
    if (!getCommand(reply, true)) {
        ++failures_;
        if (known) known->reset();
        return;
    }
    if (known) {
        if (asked)
            copyOut(*known, reply.data() + 3);
        else
            known->reset();  // the reply may be an older one
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
    std::optional<KeyboardContents::GroupBytes>* known = knownGroup(g);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Trace("SetLedType Data \n");
        Report8 sent = command(kCmdWriteGroup, g);
        if (g >= 6) {
            std::copy_n(image_.settings.begin() + settings::LedGroup6, settings::LedGroupSize, sent.begin() + 3);
        } else {
            adjustGroup0(image_, model);
            std::copy_n(image_.settings.begin() + settings::LedGroup0, settings::LedGroupSize, sent.begin() + 3);
        }
        setCommand(sent, true);
        pause(20);
        setCommand(command(kCmdRead, g), true);
        Report8 reply = command(kCmdRead, g);
        // Byte 1 included: the keyboard must answer with the very report it got.
        if (getCommand(reply, true) && reply == sent) {
            Trace("Data OK\n");
            if (known) copyOut(*known, sent.data() + 3);
            return;
        }
        Trace("Data Not OK\n");
    }
    ++failures_;
    if (known) known->reset();
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
    if (known_) *known_ = {};
    setCommand(command(kCmdReset, 0x5A), false);
    pause(10);
}

bool KeyboardProtocol::SelectPage(int page)
{
    bool ok = setCommand(command(kCmdSelectPage, static_cast<std::uint8_t>(page)), true);
    pause(10);
    return ok;
}

// Groups other than 0 and 6 are not part of what the contents track.
std::optional<KeyboardContents::GroupBytes>* KeyboardProtocol::knownGroup(int group)
{
    if (!known_) return nullptr;
    return group == 0 ? &known_->group0 : group == 6 ? &known_->group6 : nullptr;
}

std::optional<KeyboardContents::PageData>* KeyboardProtocol::knownPage(int page)
{
    if (!known_) return nullptr;
    if (page >= 0 && page < static_cast<int>(settings::MacroPageCount)) return &known_->macroPages[page];
    int k = page - kFirstPicturePage;
    if (k >= 0 && k < static_cast<int>(settings::PicturePageCount)) return &known_->colourPages[k];
    return nullptr;
}

void KeyboardProtocol::ReadKeyMatrix()
{
    std::array<std::uint8_t, kMatrixReportLength> report{};
    if (DeviceLink::GetReport(handles().matrix.get(), kMatrixReportId, report.data(), report.size(), true)) {
        std::copy(report.begin(), report.end(), image_.settings.begin() + settings::KeyMatrix);
        if (known_) copyOut(known_->matrix, report.data() + 1);
    } else {
        ++failures_;  // keep the image's matrix rather than store an empty one
        if (known_) known_->matrix.reset();
    }
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
            if (known_) copyOut(known_->matrix, sent.data() + 1);
            return;
        }
        Trace("Data not OK(KeyMatrix)\n");
    }
    ++failures_;
    if (known_) known_->matrix.reset();
}

void KeyboardProtocol::ReadMacroPages()
{
    for (int n = 0; n < static_cast<int>(settings::MacroPageCount); ++n) {
        readPage(n, macroPage(image_, n));
        pause(10);
    }
    pause(10);
}

void KeyboardProtocol::ReadPicturePages()
{
    for (int k = 0; k < static_cast<int>(settings::PicturePageCount); ++k) {
        readPage(kFirstPicturePage + k, picturePage(image_, k));
        pause(10);
    }
}

void KeyboardProtocol::readPage(int n, std::uint8_t* imagePage)
{
    bool selected = SelectPage(n);
    Page page{};
    auto* known = knownPage(n);
    if (DeviceLink::GetReport(handles().data.get(), kDataReportId, page.data(), page.size(), false)) {
        std::copy(page.begin(), page.end(), imagePage);
        // Without its selection the read may have come from another page.
        if (known) selected ? copyOut(*known, page.data() + 1) : known->reset();
    } else {
        ++failures_;
        if (known) known->reset();
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
    auto* known = knownPage(n);
    if (got && std::equal(reply.begin(), reply.end(), imagePage)) {
        Trace(ok);
        if (known) copyOut(*known, imagePage + 1);
        return true;
    }
    Trace(notOk);
    if (known) known->reset();
    return false;
}

void KeyboardProtocol::WriteMacroPages(std::uint32_t sections)
{
    for (int n = 0; n < static_cast<int>(settings::MacroPageCount); ++n) {
        std::uint8_t* page = macroPage(image_, n);
        Page sent = macroPageToSend(image_, n);
        std::copy(sent.begin(), sent.end(), page);
        if (!(sections & (section::kMacroPage0 << n))) continue;
        bool written = false;
        for (int attempt = 0; attempt < 3 && !written; ++attempt)
            written = writePage(n, page, 20, "Data OK(Macro)\n", "Data not OK(Macro)\n");
        if (!written) ++failures_;
    }
}

void KeyboardProtocol::WritePicturePages(std::uint32_t sections)
{
    int failed = 0;  // one budget of three failures for all the pages
    for (int k = 0; k < static_cast<int>(settings::PicturePageCount); ++k) {
        if (!(sections & (section::kColourPage0 << k))) continue;
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

std::uint32_t KeyboardProtocol::Hold()
{
    const Model model = handles().model;
    const std::uint32_t send = known_ ? SectionsToSend(*known_, ContentsToSend(image_, model)) : section::kAll;
    const bool lighting = send & section::kLighting;
    if (lighting) SetLedPower(kLedPowerOff);
    if (send & section::kFlags) WriteStatusFlags();
    if (send & section::kKeyMatrix) WriteKeyMatrix();
    WriteMacroPages(send & section::kMacroPages);  // every page takes its slot, as a download leaves them
    if (send & section::kColourPages) WritePicturePages(send & section::kColourPages);
    if (send & section::kGroup6) WriteLedGroup(6);
    if (send & section::kGroup0)
        WriteLedGroup(0);
    else
        adjustGroup0(image_, model);
    if (lighting) SetLedPower(kLedPowerOn);
    return send;
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

const std::array<ImageRegion, 3> g_downloadRegions{{
    {settings::LedGroup0, settings::LedGroupSize},
    {settings::MacroPages, settings::PageSize* settings::MacroPageCount},
    {settings::PicturePages, settings::PageSize* settings::PicturePageCount},
}};

}  // namespace zr417
