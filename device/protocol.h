// The keyboard command protocol: 8-byte command reports on collection 3,
// 513-byte data pages on collection 4 and the key-matrix report on
// collection 6, each write verified by reading it back, and the sequences
// that read the keyboard into the configuration image and write the image
// into the keyboard.
//
// Nothing here reports an error to its caller. A verified write makes up to
// three attempts (the five picture pages share three) and leaves trace lines
// ("Data OK\n", "Data not OK(Macro)\n" ...); a write that never verifies and
// a read whose transfer fails add one to failures(). A transfer the device
// refuses is issued once more where the operation says "repeated once". A
// read that fails stores nothing: the image keeps what it held. With no
// keyboard every operation fails at once and skips its pauses, and a
// sequence still runs to its end.
//
// Not re-entrant, no locks: one conversation at a time on one set of handles
// (the keyboard session sees to that).
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
KeyboardContents ContentsToSend(const ConfigImage& image, Model model);
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

// The last status reply and the firmware version it carried.
struct KeyboardStatus {
    std::array<std::uint8_t, 8> reply{};
    std::uint8_t major = 0, minor = 0;
};

class KeyboardProtocol {
public:
    // `refresh` is the window's refresh callback, called with 0 (also offer
    // a firmware update) at the end of StartupReadout and FactoryReset, on
    // the thread that ran them; none is called when it is empty.
    KeyboardProtocol(DeviceLink& link, ConfigImage& image, PauseFn pause = RealPause,
                     std::function<void(int lParam)> refresh = {});
    // On a fixed set of handles for the protocol's whole life (one
    // conversation of the keyboard session): a removal handled meanwhile
    // closes the link's handles, while these copies stay valid and fail.
    KeyboardProtocol(const DeviceHandles& handles, ConfigImage& image, PauseFn pause = RealPause);

    // The last status reply and the firmware version it carried.
    const std::array<std::uint8_t, 8>& g_abStatusReply() const { return status_.reply; }
    std::uint8_t g_nFwMajor() const { return status_.major; }
    std::uint8_t g_nFwMinor() const { return status_.minor; }
    // The three together; a conversation picks up where the last one left
    // them.
    const KeyboardStatus& status() const { return status_; }
    void ResumeStatus(const KeyboardStatus& status) { status_ = status; }

    // Sends 03 51 07 (not repeated) and reads the reply (not repeated); pause
    // 10 ms. Only when both succeed is the reply kept in g_abStatusReply() and
    // the image (status copy, Win Lock, Game Mode from the inverted bit);
    // otherwise nothing changes and a failure is counted. The firmware
    // version is copied by the sequences, not here.
    void ReadStatus();
    // Sends 03 50 00 flags (bit 0 Win Lock, bit 1 Game Mode off), repeated
    // once; pause 10 ms. Not verified, never counted.
    void WriteStatusFlags();
    // Sends 03 51 group and reads the reply, each repeated once; no pause.
    // Group 0 goes into the image with Neon read back (FromKeyboard), group 6
    // into the second zone; any other group's reply is dropped. A failed read
    // leaves the image as it was and counts a failure.
    void ReadLedGroup(int group);
    // Up to 3 attempts, each traced "SetLedType Data \n": sends 03 53 group
    // and the five group bytes (group 6's for 6 and above, group 0's below,
    // after ToKeyboard, which the image keeps), repeated once; pause 20 ms;
    // reads the group back (ask and read each repeated once). All 8 bytes
    // equal, report code 0x53 included: "Data OK\n"; else "Data Not OK\n".
    // Three misses count one failure.
    void WriteLedGroup(int group);
    // Up to 3 attempts, each traced "SetLedTypeOFF Data \n": sends 03 51 07
    // code, repeated once; pause 20 ms; reads the reply (not repeated). Done
    // when bit 0 of reply byte 7 says off for kLedPowerOff ("LED OFF OK\n")
    // or on for kLedPowerOn ("LED ON OK\n"); else "Data Not OK\n". Three
    // misses count one failure.
    void SetLedPower(std::uint8_t code);
    // Sends 03 52 5A once (no repeat, no reply); pause 10 ms. Never counted.
    void ResetKeyboard();
    // Sends 03 4D page, repeated once; pause 10 ms. The keyboard keeps the
    // page selected for the next data-page set or get. False when the
    // keyboard refused it.
    bool SelectPage(int page);
    // Reads report 6 (repeated once) into the image's key matrix, report ID
    // included; pause 20 ms. A failed read keeps the image's matrix and
    // counts a failure.
    void ReadKeyMatrix();
    // Up to 3 attempts: sets the image's key matrix as report 6 (byte 0
    // forced to 6 in what is sent, repeated once); pause 20 ms; reads it
    // back (repeated once); pause 10 ms. All 513 bytes equal:
    // "Data OK(KeyMatrix)\n"; else "Data not OK(KeyMatrix)\n". Three misses
    // count one failure; the image is not changed.
    void WriteKeyMatrix();
    // Pages 0..11: SelectPage, read report 4 (not repeated) into the image's
    // macro page; pause 10 ms after each and once more at the end. A failed
    // read keeps that page and counts a failure; the next page follows.
    void ReadMacroPages();
    // Every page 0..11 takes its macro slot into the image's macro page with
    // its delays converted (the image keeps the page as sent); the pages in
    // `sections` are then sent, up to 3 attempts each: SelectPage, set
    // report 4 (not repeated), pause 20 ms, SelectPage, read it back (not
    // repeated), pause 20 ms. All 513 bytes equal: "Data OK(Macro)\n"; else
    // "Data not OK(Macro)\n". A page that misses three times counts one
    // failure and the next page follows.
    void WriteMacroPages(std::uint32_t sections = section::kMacroPages);
    // As ReadMacroPages for pages 0x10..0x14 into the image's per-key colour
    // pages, 10 ms after each page and no more at the end.
    void ReadPicturePages();
    // The pages of 0x10..0x14 in `sections`, with one budget of three missed
    // verifications for all of them: SelectPage, set report 4 (the image
    // page's byte 0 set to 4, not repeated), pause 20 ms, SelectPage, read
    // back (not repeated), pause 10 ms. Equal: "Data OK(SetUserPicture)\n";
    // else "Data not OK(SetUserPicture)\n" and the page is tried again while
    // the budget lasts. Once it is spent the remaining pages are not sent;
    // each page left unwritten counts a failure.
    void WritePicturePages(std::uint32_t sections = section::kColourPages);

    // The whole image into the keyboard: SetLedPower(off), WriteStatusFlags,
    // WriteKeyMatrix, WriteMacroPages, WritePicturePages, WriteLedGroup(6),
    // WriteLedGroup(0), SetLedPower(on). Each step runs however the one
    // before it ended.
    void DownloadAll();
    // ReadStatus, the firmware version, groups 0 and 6, the key matrix, Game
    // Mode set to 1, ApplyEffectDefault, macro pages, picture pages, then
    // the refresh callback. The regions it fills: g_startupReadoutRegions.
    void StartupReadout();
    // On plugging: WriteStatusFlags from the image, ReadStatus, the firmware
    // version, groups 0 and 6, the key matrix, macro pages. No picture pages,
    // Game Mode not forced, no effect default, no refresh (the caller does).
    void ArrivalReadout();
    // Every region the keyboard holds, as it holds it (its Game Mode flag
    // too, which StartupReadout sets): what a profile saved from it keeps.
    // The firmware version is not copied and no refresh is called.
    void ReadEverything();
    // ResetKeyboard, 100 ms, ResetKeyboard, 1 s, ReadStatus,
    // WriteStatusFlags, the firmware version, group 0 (not 6), the key matrix,
    // macro pages, picture pages, Game Mode set to 1, ApplyEffectDefault,
    // then the refresh callback.
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

    // The effect default on the image (WithEffectDefault): Static with the
    // multicolour index becomes white.
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
    KeyboardStatus status_;
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
