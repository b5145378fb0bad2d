#include "device/device_link.h"

#include "platform/trace.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace zr417 {

void RealPause(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

DeviceLink::DeviceLink(hid::Bus& bus, Events events, PauseFn pause)
    : bus_(bus),
      events_(std::move(events)),
      pause_(pause ? std::move(pause) : PauseFn(RealPause)),
      listener_({events_.keyCode, events_.notConnected})
{
}

DeviceLink::~DeviceLink()
{
    stopListen_ = true;
    listener_.stop();
    CloseDeviceHandles();
    listener_.join();
}

static std::string upperCased(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool DeviceLink::FindDevicePath(std::string_view tag)
{
    for (const auto& c : bus_.enumerate()) {
        auto identity = FindKeyboardIdentity(c.vendorId, c.productId);
        if (!identity) continue;
        std::string path = upperCased(c.path);
        if (path.find(tag) == std::string::npos) continue;
        model_ = identity->model;
        devicePath_ = std::move(path);
        return true;
    }
    return false;
}

std::shared_ptr<hid::Device> DeviceLink::OpenDevice()
{
    if (devicePath_.empty()) return nullptr;
    return std::shared_ptr<hid::Device>(bus_.open(devicePath_));
}

std::shared_ptr<hid::Device> DeviceLink::FindAndOpen(std::string_view tag)
{
    if (!FindDevicePath(tag)) return nullptr;
    return OpenDevice();
}

void DeviceLink::OpenDeviceHandles()
{
    commandDev_ = FindAndOpen(kTagCommand);
    dataDev_ = FindAndOpen(kTagData);
    matrixDev_ = FindAndOpen(kTagMatrix);
}

void DeviceLink::CloseDeviceHandles()
{
    commandDev_.reset();
    dataDev_.reset();
    matrixDev_.reset();
    inputDev_.reset();  // the listener keeps its own reference until it ends
}

bool DeviceLink::SetReport(hid::Device* handle, const std::uint8_t* buffer, std::size_t length, bool repeat)
{
    if (!handle) return false;
    bool ok = handle->setFeature(buffer, length);
    if (!ok && repeat) ok = handle->setFeature(buffer, length);
    return ok;
}

bool DeviceLink::GetReport(hid::Device* handle, std::uint8_t reportId, std::uint8_t* buffer, std::size_t length,
                           bool repeat)
{
    buffer[0] = reportId;
    if (!handle) return false;
    bool ok = handle->getFeature(buffer, length);
    if (!ok && repeat) ok = handle->getFeature(buffer, length);
    return ok;
}

void DeviceLink::startListener()
{
    if (inputDev_ && !listener_.running()) listener_.start(inputDev_, stopListen_);
}

bool DeviceLink::OpenAtStartup()
{
    OpenDeviceHandles();
    bool show = commandDev_ != nullptr;
    inputDev_ = FindAndOpen(kTagInput);
    if (inputDev_) {
        stopListen_ = false;
        startListener();
    } else {
        show = false;
    }
    return show;
}

void DeviceLink::OnDeviceArrival(bool waited)
{
    Trace("Device arrival\n");
    if (!waited) pause_(kArrivalWait);
    if (!commandDev_) {
        OpenDeviceHandles();
        if (commandDev_ && events_.arrived) events_.arrived();
    }
    if (!inputDev_) {
        stopListen_ = false;
        inputDev_ = FindAndOpen(kTagInput);
        startListener();
    }
}

void DeviceLink::OnDeviceRemoval()
{
    Trace("Device DBT_DEVICEREMOVECOMPLETE\n");
    // Some other HID device went away while the keyboard's handles still
    // work: keep them. Closing them would leave the keyboard unusable until
    // some device happens to arrive.
    if (commandDev_ && commandDev_->connected() && inputDev_ && inputDev_->connected()) {
        Trace("DBT_DEVICEREMOVECOMPLETE\n");
        return;
    }
    stopListen_ = true;
    listener_.stop();
    CloseDeviceHandles();
    Trace("DBT_DEVICEREMOVECOMPLETE\n");
}

void DeviceLink::OnPlugEvents(const std::vector<hid::PlugEvent>& events, bool arrivalWaited)
{
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i > 0 && events[i].kind == events[i - 1].kind) continue;
        if (events[i].kind == hid::PlugEvent::Kind::Arrival)
            OnDeviceArrival(arrivalWaited);
        else
            OnDeviceRemoval();
    }
}

void DeviceLink::Shutdown()
{
    stopListen_ = true;
    listener_.stop();
    pause_(std::chrono::milliseconds(500));
    CloseDeviceHandles();
    listener_.join();
}

bool DeviceLink::connected() const
{
    return commandDev_ && commandDev_->connected();
}

}  // namespace zr417
