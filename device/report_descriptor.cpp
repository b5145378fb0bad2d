#include "device/report_descriptor.h"

#include <algorithm>

namespace zr417::hid {
namespace {

// Item types and tags of the short item prefix.
enum : int { kMain = 0, kGlobal = 1, kLocal = 2 };
enum : int { kInput = 0x8, kOutput = 0x9, kFeature = 0xB, kCollection = 0xA, kEndCollection = 0xC };
enum : int { kUsagePage = 0x0, kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9, kPush = 0xA, kPop = 0xB };
enum : int { kUsage = 0x0 };

constexpr std::uint64_t kMaxReportBits = 8ull * 65534;  // 65535 bytes with the ID byte
constexpr std::size_t kMaxPushDepth = 32;
constexpr int kMaxCollectionDepth = 64;

struct Globals {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct Bits {
    std::uint8_t id = 0;
    std::uint64_t input = 0, output = 0, feature = 0;
};

std::uint16_t lengthOf(std::uint64_t bits)
{
    return bits == 0 ? 0 : static_cast<std::uint16_t>((bits + 7) / 8 + 1);
}

ParsedDescriptor fail(std::string why)
{
    ParsedDescriptor result;
    result.error = std::move(why);
    return result;
}

}  // namespace

ParsedDescriptor ParseReportDescriptor(std::span<const std::uint8_t> d)
{
    Globals g;
    std::vector<Globals> stack;
    bool haveUsage = false;
    std::uint32_t firstUsage = 0;
    int firstUsageSize = 0;

    struct Building {
        TopLevelCollection info;
        std::vector<Bits> bits;
    };
    std::vector<Building> built;
    int depth = 0;
    bool numbered = false, unnumbered = false;

    std::size_t i = 0;
    while (i < d.size()) {
        std::uint8_t prefix = d[i];
        if (prefix == 0xFE) {  // long item: size, tag, data; no long tags are defined, so skip it
            if (i + 3 > d.size() || i + 3 + d[i + 1] > d.size()) return fail("truncated long item");
            i += 3 + d[i + 1];
            continue;
        }
        int size = prefix & 3;
        if (size == 3) size = 4;
        int type = (prefix >> 2) & 3;
        int tag = prefix >> 4;
        if (i + 1 + size > d.size()) return fail("truncated item");
        std::uint32_t value = 0;
        for (int k = 0; k < size; ++k) value |= std::uint32_t(d[i + 1 + k]) << (8 * k);
        i += 1 + size;

        if (type == kMain) {
            if (tag == kCollection) {
                if (++depth > kMaxCollectionDepth) return fail("collections nested too deeply");
                if (depth == 1) {
                    Building b;
                    b.info.number = static_cast<int>(built.size()) + 1;
                    std::uint32_t page = g.usagePage;
                    std::uint32_t usage = haveUsage ? firstUsage : 0;
                    if (haveUsage && firstUsageSize == 4) {  // an extended usage carries its page
                        page = usage >> 16;
                        usage &= 0xFFFF;
                    }
                    b.info.usagePage = static_cast<std::uint16_t>(page);
                    b.info.usage = static_cast<std::uint16_t>(usage);
                    built.push_back(std::move(b));
                }
            } else if (tag == kEndCollection) {
                if (--depth < 0) return fail("end of a collection that was never opened");
            } else if (tag == kInput || tag == kOutput || tag == kFeature) {
                if (depth > 0) {
                    (g.reportId ? numbered : unnumbered) = true;
                    if (numbered && unnumbered) return fail("numbered and unnumbered reports mixed");
                    auto& list = built.back().bits;
                    auto it = std::find_if(list.begin(), list.end(), [&](const Bits& b) { return b.id == g.reportId; });
                    if (it == list.end()) {
                        list.push_back({static_cast<std::uint8_t>(g.reportId)});
                        it = list.end() - 1;
                    }
                    std::uint64_t& total = tag == kInput ? it->input : tag == kOutput ? it->output : it->feature;
                    total += std::uint64_t(g.reportSize) * g.reportCount;  // both < 2^32: no overflow
                    if (total > kMaxReportBits) return fail("report too long");
                }
            } else {
                return fail("unknown main item");
            }
            haveUsage = false;  // local items end with every main item
        } else if (type == kGlobal) {
            switch (tag) {
                case kUsagePage:
                    g.usagePage = value;
                    break;
                case kReportSize:
                    g.reportSize = value;
                    break;
                case kReportCount:
                    g.reportCount = value;
                    break;
                case kReportId:
                    if (value == 0 || value > 255) return fail("invalid report ID");
                    g.reportId = value;
                    break;
                case kPush:
                    if (stack.size() >= kMaxPushDepth) return fail("push stack overflow");
                    stack.push_back(g);
                    break;
                case kPop:
                    if (stack.empty()) return fail("pop of an empty stack");
                    g = stack.back();
                    stack.pop_back();
                    break;
                default:
                    break;  // logical/physical ranges, units: no bearing on lengths
            }
        } else if (type == kLocal) {
            if (tag == kUsage && !haveUsage) {
                haveUsage = true;
                firstUsage = value;
                firstUsageSize = size;
            }
        } else {
            return fail("reserved item type");
        }
    }
    if (depth != 0) return fail("collection left open");

    ParsedDescriptor result;
    result.ok = true;
    for (auto& b : built) {
        for (const auto& bits : b.bits)
            if (bits.input || bits.output || bits.feature)  // items of zero bits make no report
                b.info.reports.push_back(
                    {bits.id, lengthOf(bits.feature), lengthOf(bits.input), lengthOf(bits.output)});
        result.collections.push_back(std::move(b.info));
    }
    return result;
}

}  // namespace zr417::hid
