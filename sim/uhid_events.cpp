#include "sim/uhid_events.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace zr417::sim::uhid {
namespace {

constexpr std::size_t kHeader = offsetof(uhid_event, u);

bool CopyText(std::uint8_t* out, std::size_t capacity, const std::string& text)
{
    if (text.size() >= capacity) return false;  // room for the terminator
    std::memcpy(out, text.data(), text.size());
    return true;
}

}  // namespace

std::optional<uhid_event> CreateEvent(const DeviceInfo& info)
{
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    auto& c = ev.u.create2;
    if (!CopyText(c.name, sizeof c.name, info.name) || !CopyText(c.phys, sizeof c.phys, info.phys) ||
        !CopyText(c.uniq, sizeof c.uniq, info.uniq))
        return std::nullopt;
    if (info.descriptor.empty() || info.descriptor.size() > sizeof c.rd_data) return std::nullopt;
    std::memcpy(c.rd_data, info.descriptor.data(), info.descriptor.size());
    c.rd_size = static_cast<std::uint16_t>(info.descriptor.size());
    c.bus = info.bus;
    c.vendor = info.vendorId;
    c.product = info.productId;
    c.version = info.version;
    c.country = info.country;
    return ev;
}

uhid_event DestroyEvent()
{
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    return ev;
}

std::optional<uhid_event> InputEvent(std::span<const std::uint8_t> report)
{
    uhid_event ev{};
    if (report.empty() || report.size() > sizeof ev.u.input2.data) return std::nullopt;
    ev.type = UHID_INPUT2;
    ev.u.input2.size = static_cast<std::uint16_t>(report.size());
    std::memcpy(ev.u.input2.data, report.data(), report.size());
    return ev;
}

uhid_event GetReportReply(std::uint32_t id, std::uint16_t err, std::span<const std::uint8_t> data)
{
    uhid_event ev{};
    ev.type = UHID_GET_REPORT_REPLY;
    ev.u.get_report_reply.id = id;
    ev.u.get_report_reply.err = err;
    if (err == 0) {
        std::size_t n = std::min(data.size(), sizeof ev.u.get_report_reply.data);
        std::memcpy(ev.u.get_report_reply.data, data.data(), n);
        ev.u.get_report_reply.size = static_cast<std::uint16_t>(n);
    }
    return ev;
}

uhid_event SetReportReply(std::uint32_t id, std::uint16_t err)
{
    uhid_event ev{};
    ev.type = UHID_SET_REPORT_REPLY;
    ev.u.set_report_reply.id = id;
    ev.u.set_report_reply.err = err;
    return ev;
}

std::optional<Request> DecodeEvent(const uhid_event& event, std::size_t length)
{
    if (length < kHeader || length > sizeof event) return std::nullopt;
    const std::size_t body = length - kHeader;
    Request r;
    switch (event.type) {
        case UHID_START:
            r.kind = Request::Kind::Start;
            return r;
        case UHID_STOP:
            r.kind = Request::Kind::Stop;
            return r;
        case UHID_OPEN:
            r.kind = Request::Kind::Open;
            return r;
        case UHID_CLOSE:
            r.kind = Request::Kind::Close;
            return r;
        case UHID_OUTPUT: {
            const auto& o = event.u.output;
            if (body < sizeof o || o.size > sizeof o.data) return std::nullopt;
            r.kind = Request::Kind::Output;
            r.reportType = o.rtype;
            r.data.assign(o.data, o.data + o.size);
            r.reportId = r.data.empty() ? 0 : r.data[0];
            return r;
        }
        case UHID_GET_REPORT: {
            const auto& g = event.u.get_report;
            if (body < sizeof g) return std::nullopt;
            r.kind = Request::Kind::GetReport;
            r.id = g.id;
            r.reportId = g.rnum;
            r.reportType = g.rtype;
            return r;
        }
        case UHID_SET_REPORT: {
            const auto& s = event.u.set_report;
            constexpr std::size_t head = offsetof(uhid_set_report_req, data);
            if (body < head || s.size > sizeof s.data || body < head + s.size) return std::nullopt;
            r.kind = Request::Kind::SetReport;
            r.id = s.id;
            r.reportId = s.rnum;
            r.reportType = s.rtype;
            r.data.assign(s.data, s.data + s.size);
            return r;
        }
        default:
            r.kind = Request::Kind::Other;
            return r;
    }
}

std::optional<uhid_event> Answer(emu::EmulatedDevice& device, const Layout& layout, const Request& request)
{
    if (request.kind != Request::Kind::GetReport && request.kind != Request::Kind::SetReport) return std::nullopt;
    const bool get = request.kind == Request::Kind::GetReport;
    auto refuse = [&] { return get ? GetReportReply(request.id, EIO, {}) : SetReportReply(request.id, EIO); };
    const auto* feature = layout.feature(request.reportId);
    if (request.reportType != UHID_FEATURE_REPORT || !feature) return refuse();
    if (get) {
        std::vector<std::uint8_t> report(feature->length, 0);
        report[0] = request.reportId;
        if (!device.getFeature(feature->index, report.data(), report.size())) return refuse();
        return GetReportReply(request.id, 0, report);
    }
    // hidraw hands the report over with its ID first.
    if (request.data.empty() || request.data[0] != request.reportId) return refuse();
    if (!device.setFeature(feature->index, request.data.data(), request.data.size())) return refuse();
    return SetReportReply(request.id, 0);
}

}  // namespace zr417::sim::uhid
