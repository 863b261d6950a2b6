// The serial ports on Windows: the COM ports the serial drivers have
// registered under HARDWARE\DEVICEMAP\SERIALCOMM, each value's data being a
// port's name ("COM7"). Every serial driver writes there (the USB CDC one
// included) and removes its port when the device goes, so the key lists the
// ports that are present now. A port's USB product name would need
// SetupAPI's bus-reported description, which no test here can exercise
// (Wine knows no USB devices); the records carry none, and the caller asks
// each port for its product ID instead.
#include "platform/tty_devices.h"

#include <windows.h>

#include <string>

namespace platform {

bool listTtyDevices(std::vector<TtyDeviceRecord>& records) {
    records.clear();
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key);
    // No key: no serial driver has registered a port since the system started.
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[64] = {};
        DWORD nameLength = sizeof name / sizeof name[0];
        DWORD dataBytes = sizeof data - sizeof data[0];  // room for a terminator the data may lack
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                     &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;  // a name too long for a port is none
        TtyDeviceRecord record;
        bool ascii = true;
        for (const wchar_t* c = data; *c != L'\0' && ascii; ++c) {
            ascii = *c < 0x80;
            record.sysName.push_back(static_cast<char>(*c));
        }
        if (!ascii) continue;  // no COM name
        record.devNode = record.sysName;
        records.push_back(std::move(record));
    }
    RegCloseKey(key);
    return true;
}

}  // namespace platform
