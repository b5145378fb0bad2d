// The keyboard's firmware as the main program sees it: interface 1 with its
// command (3), data page (4), key-matrix (6) and input (7) collections. It
// answers every read the way the keyboard does (a group, page or matrix read
// returns what was last written; the status reply carries the firmware
// version and the Win Lock / Game Mode bits), reports host-action keys on
// collection 7, and can refuse or garble reports on request.
#pragma once

#include "device/emu/emulated_bus.h"
#include "device/identities.h"

#include <array>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

namespace zr417::emu {

class KeyboardEmulator : public EmulatedDevice {
public:
    static constexpr std::size_t kPageDataSize = 512;
    static constexpr std::size_t kMatrixDataSize = 512;
    static constexpr int kPageCount = 256;  // the page byte of SelectPage

    // The keyboard's memory, as far as the host can see it.
    struct Memory {
        std::uint8_t fwMajor = 1, fwMinor = 0;
        std::uint8_t statusFlags = 0x02;  // bit 0 Win Lock, bit 1 Game Mode off
        bool ledOn = true;
        // Last report written to each LED group (03 53 g b3..b7).
        std::array<std::array<std::uint8_t, 8>, 256> groups{};
        std::array<std::uint8_t, kMatrixDataSize> matrix{};
        std::array<std::array<std::uint8_t, kPageDataSize>, kPageCount> pages{};
        bool operator==(const Memory&) const = default;
    };

    // A fault that applies to the next `count` matching reports (-1: all of
    // them). `collection` (3, 4, 6, 7) and `page` (the selected page, for
    // collection 4) narrow it down; -1 matches any.
    struct Fault {
        int count = 0;
        int collection = -1;
        int page = -1;
    };
    struct Faults {
        Fault refuseSet;                // the set fails and changes nothing
        Fault refuseGet;                // the get fails
        Fault wrongReadBack;            // the get succeeds with one data byte changed
        bool groupReplyByte51 = false;  // group reads answer with byte 1 = 0x51
    };

    // Collection numbers on interface 1, in the order of collections().
    static constexpr std::array<int, 4> kCollectionNumbers{3, 4, 6, 7};

    explicit KeyboardEmulator(const KeyboardIdentity& identity);
    ~KeyboardEmulator() override;

    const KeyboardIdentity& identity() const { return identity_; }

    // Memory at delivery: Static white lighting, every key sending its own
    // device code, no macros, black pictures, Game Mode and Win Lock off.
    static Memory FactoryMemory(std::uint8_t model);

    Memory memory() const;
    void setMemory(const Memory& m);
    void setFirmwareVersion(std::uint8_t major, std::uint8_t minor);
    int selectedPage() const;

    Faults& faults() { return faults_; }  // change only while no report is in flight

    // Keeps the memory in `file`: loaded now if it holds a memory of this
    // model (else factory memory is kept), written atomically by flush() and
    // by the destructor when it changed.
    void persistTo(std::filesystem::path file);
    bool flush();

    // The key at matrix position `pos` is pressed: when plane 0 of the matrix
    // holds the host-action code 0xFA there, input report 7 announces it (one
    // report pressed, one released). Returns whether a report was sent.
    bool pressKey(int matrixPos);
    // Bit of input report 7 (byte 1..21, bit 0..5) that announces a key, by
    // its default device code; nullopt for a code the report has no bit for.
    static std::optional<std::pair<int, int>> InputBitForCode(std::uint8_t code);

    // Called with "05 75 ..." (start the bootloader): makes the device that
    // takes this one's place on the bus. None set: the report is accepted
    // and ignored.
    using SuccessorFactory = std::function<std::shared_ptr<EmulatedDevice>()>;
    void setBootloaderFactory(SuccessorFactory factory);

    // Counters of what the host sent (tests).
    struct Counters {
        int sets = 0, gets = 0;
        int pageSets[kPageCount] = {};
        int matrixSets = 0;
    };
    Counters counters() const;

    // EmulatedDevice
    std::uint16_t vendorId() const override { return identity_.vendorId; }
    std::uint16_t productId() const override { return identity_.productId; }
    std::vector<Collection> collections() const override;
    bool setFeature(std::size_t index, const std::uint8_t* data, std::size_t length) override;
    bool getFeature(std::size_t index, std::uint8_t* data, std::size_t length) override;
    std::shared_ptr<EmulatedDevice> takeSuccessor() override;

private:
    bool takeFault(Fault& f, int collection) const;
    void command(const std::uint8_t* report);
    bool loadFile();

    KeyboardIdentity identity_;
    mutable std::mutex mutex_;  // guards everything below (tests read while the host writes)
    Memory memory_;
    int selectedPage_ = 0;
    std::array<std::uint8_t, 8> reply_{};  // answer to the next get on collection 3
    Faults faults_;
    Counters counters_;
    bool dirty_ = false;
    std::optional<std::filesystem::path> file_;
    SuccessorFactory bootloaderFactory_;
    std::shared_ptr<EmulatedDevice> successor_;
};

}  // namespace zr417::emu
