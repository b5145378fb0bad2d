// The keyboard's bootloader, emulated: vendor 0x0603, product 0x1020, with a
// command collection (feature report 5, 6 bytes) and a data collection
// (feature report 6, 2050 bytes) on the vendor usage page. It keeps 60 KiB of
// application flash, the status word with its programming-cycle mark and the
// 8-byte option block (sensor code, serial number), and can inject faults.
#pragma once

#include "device/emu/emulated_bus.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zr417::emu {

class BootloaderEmulator : public EmulatedDevice {
public:
    static constexpr std::uint16_t kVendorId = 0x0603;
    static constexpr std::uint16_t kProductId = 0x1020;
    static constexpr std::size_t kFlashSize = 0xF000;
    static constexpr std::size_t kCommandIndex = 0;  // collections() order
    static constexpr std::size_t kDataIndex = 1;

    // `mark` is the programming-cycle mark (0x00: eight cycles left).
    explicit BootloaderEmulator(std::uint8_t mark = 0x00);

    // EmulatedDevice. Reports are told apart by their report ID, whichever
    // collection's handle they arrive on (on Linux the collections of one
    // interface share a node).
    std::uint16_t vendorId() const override { return kVendorId; }
    std::uint16_t productId() const override { return kProductId; }
    std::vector<Collection> collections() const override;
    bool setFeature(std::size_t index, const std::uint8_t* data, std::size_t length) override;
    bool getFeature(std::size_t index, std::uint8_t* data, std::size_t length) override;

    // What the device holds now.
    std::vector<std::uint8_t> flash() const;  // all 61440 bytes
    std::vector<std::uint8_t> image() const;  // flash up to the highest byte written since the erase
    std::array<std::uint8_t, 8> optionBlock() const;
    std::uint16_t serialNumber() const;  // option bytes 6-7
    std::uint8_t sensorCode() const;     // option byte 4
    std::uint8_t mark() const;
    int finishCount() const;  // completed programming cycles
    int eraseCount() const;

    void setMark(std::uint8_t mark);
    void setStatusByte0(std::uint8_t value);  // 0x61 when healthy
    void setOptionBlock(const std::array<std::uint8_t, 8>& block);

    // Every report the device received (set) or answered (get), in order,
    // when recording is on (off by default: a burn moves 120 KiB).
    struct Report {
        bool set = true;
        std::vector<std::uint8_t> bytes;
    };
    void setRecording(bool on);
    std::vector<Report> reports() const;
    // Set reports with this report ID and command code.
    std::vector<std::vector<std::uint8_t>> sentReports(std::uint8_t reportId, std::uint8_t code) const;

    // Faults.
    // Refuse every report (true) or none.
    void refuseAll(bool on);
    // Refuse the next `times` reports with this report ID and command code
    // (byte 1 of a set, or of the buffer a get is asked with); -1: all.
    void refuseCommand(std::uint8_t reportId, std::uint8_t code, int times = -1);
    // XOR 0xFF into flash byte `address` as it is read back, on the next
    // read-back only or on every one.
    enum class Flip { Once, Always };
    void flipReadBack(std::size_t address, Flip mode);

private:
    enum class Area { None, Flash, Status, Option };
    struct Cursor {
        Area area = Area::None;
        std::size_t offset = 0;
        std::size_t left = 0;
    };
    static Cursor Prepare(const std::uint8_t* report);
    bool Refused(std::uint8_t reportId, std::uint8_t code);
    void Record(bool set, const std::uint8_t* data, std::size_t length);
    std::uint8_t ReadByte(Area area, std::size_t offset);
    void WriteByte(Area area, std::size_t offset, std::uint8_t value);

    mutable std::mutex mutex_;
    std::vector<std::uint8_t> flash_;
    std::array<std::uint8_t, 4> status_{0x61, 0x00, 0x00, 0x00};
    std::array<std::uint8_t, 8> option_{0x5A, 0xA5, 0x01, 0x02, 0x01, 0x00, 0x00, 0x00};
    Cursor read_;
    Cursor write_;
    std::size_t highestWritten_ = 0;
    bool erasedSinceFinish_ = false;
    int finishCount_ = 0;
    int eraseCount_ = 0;

    bool recording_ = false;
    std::vector<Report> reports_;
    bool refuseAll_ = false;
    struct Refusal {
        std::uint8_t reportId;
        std::uint8_t code;
        int times;
    };
    std::vector<Refusal> refusals_;
    std::size_t flipAddress_ = 0;
    bool flipOn_ = false;
    bool flipAlways_ = false;
    bool flippedThisRead_ = false;
};

}  // namespace zr417::emu
