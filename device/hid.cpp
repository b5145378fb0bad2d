#include "device/hid.h"

#include <algorithm>

namespace zr417::hid {

std::uint16_t CollectionInfo::featureReportLength() const
{
    std::uint16_t n = 0;
    for (const auto& r : reports)
        n = std::max(n, r.featureLength);
    return n;
}

std::uint16_t CollectionInfo::inputReportLength() const
{
    std::uint16_t n = 0;
    for (const auto& r : reports)
        n = std::max(n, r.inputLength);
    return n;
}

}  // namespace zr417::hid
