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
    void SelectPage(int page);
    void ReadKeyMatrix();
    void WriteKeyMatrix();
    void ReadMacroPages();
    void WriteMacroPages();
    void ReadPicturePages();
    void WritePicturePages();

    void DownloadAll();
    void StartupReadout();
    void ArrivalReadout();
    // Every region the keyboard holds, as it holds it (its Game Mode flag
    // too, which StartupReadout sets): what a profile saved from it keeps.
    void ReadEverything();
    void FactoryReset();

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

    DeviceLink* link_ = nullptr;
    std::optional<DeviceHandles> pinned_;
    ConfigImage& image_;
    PauseFn pause_;
    std::function<void(int)> refresh_;
    int failures_ = 0;
};

// The regions of the settings block StartupReadout fills: the status copy,
// Win Lock, Game Mode, both lighting groups, the key matrix, the macro and
// the picture pages. Keep in step with the sequence.
struct ImageRegion {
    std::size_t offset;
    std::size_t size;
};
extern const std::array<ImageRegion, 7> g_startupReadoutRegions;

}  // namespace zr417
