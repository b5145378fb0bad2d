// Splits a HID report descriptor into its top-level collections, with their
// usage pages and report lengths as Windows' capabilities give them, so that a
// hidraw node (which carries a whole interface) can be listed collection by
// collection.
#pragma once

#include "device/hid.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zr417::hid {

struct TopLevelCollection {
    int number = 0;  // 1-based, in descriptor order ("COL03" is number 3)
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    // One entry per report ID used in the collection, in order of first use.
    // Lengths include the report ID byte (also when the device numbers no
    // reports, where the ID is 0).
    std::vector<ReportInfo> reports;
};

struct ParsedDescriptor {
    bool ok = false;
    std::string error;                            // why it was refused, when !ok
    std::vector<TopLevelCollection> collections;  // empty when !ok
};

// Never throws or reads past the data; a malformed descriptor (truncated or
// unknown long items cut short, unbalanced collections, a report longer than
// 65535 bytes, report ID 0, numbered and unnumbered reports mixed) yields
// ok == false and no collection.
ParsedDescriptor ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace zr417::hid
