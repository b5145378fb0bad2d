#include "platform/hidraw_sysfs.h"

#include "device/report_descriptor.h"
#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace zr417::hidraw {
namespace fs = std::filesystem;

namespace {

bool parseHex(std::string_view s, std::uint32_t& out)
{
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, 16);
    return ec == std::errc() && end == s.data() + s.size();
}

std::optional<std::string> readText(const fs::path& p)
{
    auto bytes = ReadFileBytes(p, 64 * 1024);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace

std::optional<HidUevent> ParseHidUevent(std::string_view text)
{
    HidUevent ev;
    bool haveId = false;
    while (!text.empty()) {
        auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "HID_ID") {
            // bus:vendor:product, each in hex
            auto c1 = value.find(':');
            auto c2 = value.find(':', c1 == std::string_view::npos ? c1 : c1 + 1);
            std::uint32_t bus, vid, pid;
            if (c1 == std::string_view::npos || c2 == std::string_view::npos || !parseHex(value.substr(0, c1), bus) ||
                !parseHex(value.substr(c1 + 1, c2 - c1 - 1), vid) || !parseHex(value.substr(c2 + 1), pid) ||
                vid > 0xFFFF || pid > 0xFFFF)
                return std::nullopt;
            ev.bus = bus;
            ev.vendorId = static_cast<std::uint16_t>(vid);
            ev.productId = static_cast<std::uint16_t>(pid);
            haveId = true;
        } else if (key == "HID_NAME") {
            ev.name = value;
        } else if (key == "HID_PHYS") {
            ev.phys = value;
        }
    }
    if (!haveId) return std::nullopt;
    return ev;
}

int InterfaceFromPhys(std::string_view phys)
{
    auto slash = phys.rfind('/');
    std::string_view last = slash == std::string_view::npos ? phys : phys.substr(slash + 1);
    if (last.size() <= 5 || last.substr(0, 5) != "input") return -1;
    int n = 0;
    auto digits = last.substr(5);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n < 0 || n > 255) return -1;
    return n;
}

std::optional<HidrawNode> ReadHidrawNode(const fs::path& sysRoot, const std::string& name, const fs::path& devRoot)
{
    std::error_code ec;
    fs::path device = fs::canonical(sysRoot / "class" / "hidraw" / name / "device", ec);
    if (ec) return std::nullopt;
    auto uevent = readText(device / "uevent");
    auto ev = uevent ? ParseHidUevent(*uevent) : std::nullopt;
    auto descriptor = ReadFileBytes(device / "report_descriptor", 64 * 1024);
    if (!ev || !descriptor) return std::nullopt;

    HidrawNode node;
    node.name = name;
    node.devNode = (devRoot / name).string();
    node.vendorId = ev->vendorId;
    node.productId = ev->productId;
    node.descriptor = std::move(*descriptor);
    // A USB HID device sits in its interface's folder; uhid devices have none.
    node.interfaceNumber = -1;
    if (auto text = readText(device.parent_path() / "bInterfaceNumber")) {
        std::uint32_t n;
        std::string t = *text;
        while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
        if (parseHex(t, n) && n <= 255) node.interfaceNumber = static_cast<int>(n);
    }
    if (node.interfaceNumber < 0) node.interfaceNumber = InterfaceFromPhys(ev->phys);
    return node;
}

std::vector<HidrawNode> ListHidrawNodes(const fs::path& sysRoot, const fs::path& devRoot)
{
    std::vector<std::pair<long, std::string>> names;
    std::error_code ec;
    for (fs::directory_iterator it(sysRoot / "class" / "hidraw", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        long number = 0;
        if (name.rfind("hidraw", 0) != 0 ||
            std::from_chars(name.data() + 6, name.data() + name.size(), number).ec != std::errc())
            continue;
        names.emplace_back(number, name);
    }
    std::sort(names.begin(), names.end());
    std::vector<HidrawNode> nodes;
    for (const auto& [number, name] : names)
        if (auto node = ReadHidrawNode(sysRoot, name, devRoot)) nodes.push_back(std::move(*node));
    return nodes;
}

std::string CollectionPath(const HidrawNode& node, int collectionNumber, std::size_t collectionCount)
{
    char tags[64];
    int n = std::snprintf(tags, sizeof tags, "#VID_%04X&PID_%04X", node.vendorId, node.productId);
    if (node.interfaceNumber >= 0) n += std::snprintf(tags + n, sizeof tags - n, "&MI_%02d", node.interfaceNumber);
    if (collectionCount > 1) std::snprintf(tags + n, sizeof tags - n, "&COL%02d", collectionNumber);
    return node.devNode + tags;
}

std::vector<hid::CollectionInfo> CollectionsOfNode(const HidrawNode& node)
{
    auto parsed = hid::ParseReportDescriptor(node.descriptor);
    std::vector<hid::CollectionInfo> result;
    for (const auto& c : parsed.collections) {
        hid::CollectionInfo info;
        info.path = CollectionPath(node, c.number, parsed.collections.size());
        info.vendorId = node.vendorId;
        info.productId = node.productId;
        info.interfaceNumber = node.interfaceNumber;
        info.collectionNumber = c.number;
        info.usagePage = c.usagePage;
        info.usage = c.usage;
        info.reports = c.reports;
        result.push_back(std::move(info));
    }
    return result;
}

std::string DevNodeOfPath(std::string_view path)
{
    return std::string(path.substr(0, path.find('#')));
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace zr417::hidraw
