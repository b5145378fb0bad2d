#include "device/hid.h"

#include <algorithm>

namespace zr417::hid {

std::uint16_t CollectionInfo::featureReportLength() const
{
    std::uint16_t n = 0;
    for (const auto& r : reports) n = std::max(n, r.featureLength);
    return n;
}

std::uint16_t CollectionInfo::inputReportLength() const
{
    std::uint16_t n = 0;
    for (const auto& r : reports) n = std::max(n, r.inputLength);
    return n;
}

void NodeFeatureReports::add(const std::vector<ReportInfo>& reports, std::size_t owner)
{
    for (const auto& r : reports)
        if (r.featureLength > 0 && lengthOf(r.id) == 0) entries_.push_back({r.id, r.featureLength, owner});
}

std::uint16_t NodeFeatureReports::lengthOf(std::uint8_t id) const
{
    for (const auto& e : entries_)
        if (e.id == id) return e.length;
    return 0;
}

std::size_t NodeFeatureReports::ownerOf(std::uint8_t id) const
{
    for (const auto& e : entries_)
        if (e.id == id) return e.owner;
    return 0;
}

}  // namespace zr417::hid
