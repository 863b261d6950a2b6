// The tty devices through libudev.
//
// libudev rather than reading /sys ourselves: the stable names under
// /dev/serial/by-id/ exist only in udev's database (/run/udev/data), whose
// file format is udev's private matter and may change between versions;
// libudev is its supported reader. It also walks a device's ancestors and
// their attributes the way the udev rule's ATTRS{product} match does, so
// the tool finds exactly the ports the rule hands to the user.
#include "platform/tty_devices.h"

#include <libudev.h>

#include <memory>

namespace platform {
namespace {

struct UdevFree {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevFree>;

std::string text(const char* value) { return value != nullptr ? value : ""; }

}  // namespace

bool listTtyDevices(std::vector<TtyDeviceRecord>& records) {
    UdevPtr<udev> context(udev_new());
    if (!context) return false;
    UdevPtr<udev_enumerate> scan(udev_enumerate_new(context.get()));
    if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(scan.get()) < 0)
        return false;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
        UdevPtr<udev_device> device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device || udev_device_get_devnode(device.get()) == nullptr) continue;
        TtyDeviceRecord record;
        record.sysName = text(udev_device_get_sysname(device.get()));
        record.devNode = text(udev_device_get_devnode(device.get()));
        record.devLinks = text(udev_device_get_property_value(device.get(), "DEVLINKS"));
        // Parents belong to the child: no reference of their own to drop.
        for (udev_device* up = udev_device_get_parent(device.get()); up != nullptr; up = udev_device_get_parent(up))
            if (const char* product = udev_device_get_sysattr_value(up, "product")) record.products.push_back(product);
        records.push_back(std::move(record));
    }
    return true;
}

}  // namespace platform
