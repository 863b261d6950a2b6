// Reads a tty's output speed through termios2, which reports any rate.
// Apart from the tests because <asm/termbits.h> clashes with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cstdint>

extern "C" int ioctl(int fd, unsigned long request, ...);

uint32_t outputSpeedOf(int fd) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return (tio.c_cflag & CBAUD) == BOTHER ? tio.c_ospeed : 0xFFFFFFFFu;
}
