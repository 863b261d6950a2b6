// The private wire between zorvisim and its PCIe stand-in libraries
// (libtobra.so, libquenta.so): a Unix stream socket carrying packets; for
// the Windows stand-ins (tobra.dll, quenta.dll) a TCP connection on the
// loopback interface carries the same packets.
//
//   library -> zorvisim: u8 op, u32 sequence, u32 length, payload
//   zorvisim -> library: u32 sequence, u32 length, payload
//
// All integers little-endian. op kOpCommand carries one uC request message
// and is answered with the reply message, or not at all when the uC stays
// silent; the library enforces the time-out and drops answers whose
// sequence number is not the one it waits for (late replies). op
// kOpUniqueId is answered with 8 bytes: card serial number, card type.
#pragma once

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/types.h>
#endif

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace zsim::pcie {

constexpr uint8_t kOpCommand = 1;
constexpr uint8_t kOpUniqueId = 2;
constexpr uint32_t kRequestHeader = 9;
constexpr uint32_t kReplyHeader = 8;
constexpr uint32_t kMaxPayload = 1u << 20;

inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

#ifndef _WIN32
/// Writes a whole packet to the socket (EINTR retried, no SIGPIPE).
inline bool sendAll(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t w = ::send(fd, data, length, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += w;
        length -= static_cast<size_t>(w);
    }
    return true;
}

#endif

}  // namespace zsim::pcie
