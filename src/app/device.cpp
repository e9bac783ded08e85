#include "device.h"

#include <vector>

#include "../platform/runtime.h"

namespace {

std::vector<Device*>& all()
{
    static std::vector<Device*> devices;
    return devices;
}

}  // namespace

Device::Device(DeviceView* shownBy) : view(shownBy) { all().push_back(this); }

Device::~Device()
{
    std::erase(all(), this);
}

std::span<Device* const> Devices() { return all(); }

void ReleaseDevice(Device& device)
{
    if (device.fileHandle > 0) CloseFile(device.fileHandle);
    CloseCom(device.comport);  // whether or not it is open
    for (int i = 0; i < device.placeCount; ++i) EndWatch(device.places[i].watch);
    // Back to the start values; the device stays where it is (the window's
    // names refer to it, and the list of devices holds it), view and all.
    static_cast<DeviceState&>(device) = DeviceState{};
}
