// The keyboard command protocol: 8-byte command reports on collection 3,
// 513-byte data pages on collection 4 and the key-matrix report on
// collection 6, each write verified by reading it back, and the sequences
// that read the keyboard into the configuration image and write the image
// into the keyboard. Results show only as trace lines ("Data OK\n" ...).
#pragma once

#include "config/image.h"
#include "device/device_link.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace zr417 {

constexpr std::uint8_t kLedPowerOff = 0x5A;
constexpr std::uint8_t kLedPowerOn = 0xA5;
constexpr int kFirstPicturePage = 0x10;

// Delays of a macro page in milliseconds become units of 8 ms, one unit up
// (0 stays 0); in place, in the 512 data bytes of a page. The scan ends at
// the first step whose key-code byte is 0, and at the end of the page.
void ConvertMacroDelays(std::uint8_t* pageData);

// The sections of the keyboard's memory a write reaches, one bit each, in
// the order a download sends them.
namespace section {
constexpr std::uint32_t kFlags = 1u << 0;
constexpr std::uint32_t kKeyMatrix = 1u << 1;
constexpr std::uint32_t kMacroPage0 = 1u << 2;    // macro page n: kMacroPage0 << n, n = 0..11
constexpr std::uint32_t kColourPage0 = 1u << 14;  // colour page k: kColourPage0 << k, k = 0..4
constexpr std::uint32_t kGroup6 = 1u << 19;
constexpr std::uint32_t kGroup0 = 1u << 20;
constexpr std::uint32_t kMacroPages = 0xFFFu << 2;
constexpr std::uint32_t kColourPages = 0x1Fu << 14;
constexpr std::uint32_t kAll = (1u << 21) - 1;
// What the firmware may take only at LED power-on: sent between power off and on.
constexpr std::uint32_t kLighting = kColourPages | kGroup6 | kGroup0;
}  // namespace section

// What the keyboard holds, section by section, as it holds it: the flags
// byte, the data bytes of the matrix and of each page, the five bytes of
// each LED group. An empty section is not known.
struct KeyboardContents {
    using PageData = std::array<std::uint8_t, 512>;
    using GroupBytes = std::array<std::uint8_t, 5>;
    std::optional<std::uint8_t> flags;
    std::optional<PageData> matrix;
    std::array<std::optional<PageData>, 12> macroPages;
    std::array<std::optional<PageData>, 5> colourPages;
    std::optional<GroupBytes> group6, group0;
};

// What a download of `image` leaves in a keyboard of `model`: macro pages
// as sent (the slot, delays converted), LED group 0 as the keyboard is told it.
KeyboardContents ContentsToSend(const ConfigImage& image, std::uint8_t model);
// The sections where `wanted` differs from `held`, or `held` is not known.
std::uint32_t SectionsToSend(const KeyboardContents& held, const KeyboardContents& wanted);
// Reports a write of `sections` takes when every verification succeeds,
// with the LED power frame around lighting.
int PlannedReports(std::uint32_t sections);

// Reports of the fixed sequences when every verification succeeds.
constexpr int kDownloadAllReports = 81;
constexpr int kStartupReadoutReports = 41;
constexpr int kArrivalReadoutReports = 32;
constexpr int kFactoryResetReports = 42;
constexpr int kReadEverythingReports = 41;

class KeyboardProtocol {
public:
    // `refresh` is message 0x77b to the window (lParam: 0 = also offer a
    // firmware update, 1 = not), sent by StartupReadout and FactoryReset.
    KeyboardProtocol(DeviceLink& link, ConfigImage& image, PauseFn pause = RealPause,
                     std::function<void(int lParam)> refresh = {});
    // On a fixed set of handles for the protocol's whole life (one
    // conversation of the keyboard session): a removal handled meanwhile
    // closes the link's handles, while these copies stay valid and fail.
    KeyboardProtocol(const DeviceHandles& handles, ConfigImage& image, PauseFn pause = RealPause);

    // The last status reply and the firmware version it carried.
    std::array<std::uint8_t, 8> g_abStatusReply{};
    std::uint8_t g_nFwMajor = 0;
    std::uint8_t g_nFwMinor = 0;

    void ReadStatus();
    void WriteStatusFlags();
    void ReadLedGroup(int group);
    void WriteLedGroup(int group);
    void SetLedPower(std::uint8_t code);
    void ResetKeyboard();
    bool SelectPage(int page);
    void ReadKeyMatrix();
    void WriteKeyMatrix();
    void ReadMacroPages();
    // Every page takes its slot (delays converted) into the image; the
    // pages in `sections` are sent.
    void WriteMacroPages(std::uint32_t sections = section::kMacroPages);
    void ReadPicturePages();
    // The pages in `sections`, sharing one budget of three failures.
    void WritePicturePages(std::uint32_t sections = section::kColourPages);

    void DownloadAll();
    void StartupReadout();
    void ArrivalReadout();
    // Every region the keyboard holds, as it holds it (its Game Mode flag
    // too, which StartupReadout sets): what a profile saved from it keeps.
    void ReadEverything();
    void FactoryReset();
    // Makes the keyboard hold the image: the sections where it differs from
    // what the keyboard is known to hold (TrackContents) go out, each with
    // its own verified write, in the download's order; lighting inside the
    // LED power frame. The image is left as a download leaves it. Returns
    // the sections sent. Without tracking, everything is sent.
    std::uint32_t Hold();

    // Keeps `contents` up to date with every read and write from now on: a
    // read or verified write makes its section known, a failed one unknown,
    // a reset forgets everything. nullptr stops it.
    void TrackContents(KeyboardContents* contents) { known_ = contents; }

    // Static with colour index 0 becomes white (colour index 7).
    void ApplyEffectDefault();

    // Verified writes abandoned after their last attempt and reads whose
    // transfer failed since the last resetFailures() (not part of the trace;
    // zr417ctl reports them).
    int failures() const { return failures_; }
    void resetFailures() { failures_ = 0; }

private:
    DeviceHandles handles() const;
    // The fixed pauses; skipped once the keyboard is gone, so a sequence
    // interrupted by an unplug runs to its end at once.
    void pause(int ms);
    bool setCommand(const std::array<std::uint8_t, 8>& report, bool repeat);
    bool getCommand(std::array<std::uint8_t, 8>& reply, bool repeat);
    void storeStatus(const std::array<std::uint8_t, 8>& reply);
    void copyFirmwareVersion();
    bool writePage(int page, std::uint8_t* imagePage, int afterGetMs, const char* ok, const char* notOk);
    void readPage(int page, std::uint8_t* imagePage);
    std::optional<KeyboardContents::PageData>* knownPage(int page);
    std::optional<KeyboardContents::GroupBytes>* knownGroup(int group);

    DeviceLink* link_ = nullptr;
    std::optional<DeviceHandles> pinned_;
    ConfigImage& image_;
    PauseFn pause_;
    std::function<void(int)> refresh_;
    int failures_ = 0;
    KeyboardContents* known_ = nullptr;
};

// The regions of the settings block StartupReadout fills: the status copy,
// Win Lock, Game Mode, both lighting groups, the key matrix, the macro and
// the picture pages. Keep in step with the sequence.
struct ImageRegion {
    std::size_t offset;
    std::size_t size;
};
extern const std::array<ImageRegion, 7> g_startupReadoutRegions;
// The regions a download (or Hold) changes in the image: the macro pages
// take their slots, the picture pages their report ID, LED group 0 the
// model's adjustments.
extern const std::array<ImageRegion, 3> g_downloadRegions;

}  // namespace zr417
