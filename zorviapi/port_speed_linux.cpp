// Line speed through termios2, which takes any rate rather than only the
// B* constants. Kept apart because <asm/termbits.h> and <termios.h> define
// the same names and cannot share a translation unit.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

#include "port.h"

// <sys/ioctl.h> drags in the libc termios types that clash with the kernel
// ones above, so the one call needed is declared here.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace zorvi::port {

namespace {

// A driver that cannot make the rate stores the one it does make. Beyond
// this deviation (in parts per thousand) the two ends no longer understand
// each other, so the call is refused rather than leaving a silently wrong
// speed behind.
constexpr uint64_t kSpeedTolerancePerMille = 30;

bool closeEnough(uint32_t wanted, uint32_t actual) {
    uint64_t diff = wanted > actual ? wanted - actual : actual - wanted;
    return diff * 1000 <= uint64_t{wanted} * kSpeedTolerancePerMille;
}

// The classic rates keep their own speed codes so that programs reading the
// port settings through the older interface still see the speed; any other
// rate is given as a number.
struct SpeedCode {
    uint32_t rate;
    tcflag_t code;
};
const SpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t codeOfRate(uint32_t rate) {
    for (const SpeedCode& s : kSpeedCodes)
        if (s.rate == rate) return s.code;
    return BOTHER;
}

uint32_t outputRate(const termios2& tio) {
    tcflag_t code = tio.c_cflag & CBAUD;
    if (code == BOTHER) return tio.c_ospeed;
    for (const SpeedCode& s : kSpeedCodes)
        if (s.code == code) return s.rate;
    return 0;
}

int retryingIoctl(int fd, unsigned long request, termios2* tio) {
    int r;
    do {
        r = ioctl(fd, request, tio);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

ZORVI_STATUS setSpeed(ZORVI_HANDLE handle, uint32_t baud) {
    const int fd = static_cast<int>(handle);  // the port's descriptor (port_posix.cpp)
    // Rate 0 is no speed: it would hang the line up (drop DTR) instead.
    if (baud == 0) return ZORVI_BAUD_RATE_FAILED;
    termios2 tio{};
    if (retryingIoctl(fd, TCGETS2, &tio) != 0) return ZORVI_BAUD_RATE_FAILED;
    // Only the speed changes; size, parity, stop bits and flow control stay.
    // The input speed field is cleared so that input follows the output
    // speed.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= codeOfRate(baud);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (retryingIoctl(fd, TCSETS2, &tio) != 0) return ZORVI_BAUD_RATE_FAILED;
    // A pseudo-terminal keeps whatever rate it is given, and a real driver
    // reports the rate it actually made, so reading back tells the truth.
    termios2 now{};
    if (retryingIoctl(fd, TCGETS2, &now) != 0) return ZORVI_BAUD_RATE_FAILED;
    if (!closeEnough(baud, outputRate(now))) return ZORVI_BAUD_RATE_FAILED;
    return ZORVI_SUCCESS;
}

}  // namespace zorvi::port
