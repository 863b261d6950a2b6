// Line speed through termios2, which takes any rate rather than only the
// B* constants. Kept apart because <asm/termbits.h> and <termios.h> define
// the same names and cannot share a translation unit.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

#include "serial_port_posix.h"

// <sys/ioctl.h> drags in the libc termios types that clash with the kernel
// ones above, so the one call needed is declared here.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace zorvi {

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

int retryingIoctl(int fd, unsigned long request, termios2* tio) {
    int r;
    do {
        r = ioctl(fd, request, tio);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

ZORVI_STATUS setPortSpeed(int fd, uint32_t baud) {
    // Rate 0 is no speed: it would hang the line up (drop DTR) instead.
    if (baud == 0) return ZORVI_BAUD_RATE_FAILED;
    termios2 tio{};
    if (retryingIoctl(fd, TCGETS2, &tio) != 0) return ZORVI_BAUD_RATE_FAILED;
    // Only the speed changes; size, parity, stop bits and flow control stay.
    // The input speed field is cleared so that input follows the output
    // speed.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (retryingIoctl(fd, TCSETS2, &tio) != 0) return ZORVI_BAUD_RATE_FAILED;
    // A pseudo-terminal keeps whatever rate it is given, and a real driver
    // reports the rate it actually made, so reading back tells the truth.
    termios2 now{};
    if (retryingIoctl(fd, TCGETS2, &now) != 0) return ZORVI_BAUD_RATE_FAILED;
    if (!closeEnough(baud, now.c_ospeed)) return ZORVI_BAUD_RATE_FAILED;
    return ZORVI_SUCCESS;
}

}  // namespace zorvi
