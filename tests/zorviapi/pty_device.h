// A pseudo-terminal pair for tests of the serial library: the library opens
// the slave side by its path, and a thread on the master side plays the
// device, answering each request frame it sees through a handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct DeviceReply {
    Bytes bytes;      // raw line bytes to send back, framing included
    int delayMs = 0;  // wait this long before sending them
};

class PtyDevice {
public:
    /// `frame` is one raw request frame as it came over the line, from its
    /// start byte to its end byte. Without a handler the device only
    /// listens.
    using Handler = std::function<DeviceReply(const Bytes& frame)>;

    /// The device reads nothing for its first `deafMs` milliseconds, so
    /// that a long request fills the line's buffers.
    explicit PtyDevice(Handler handler = {}, int deafMs = 0);
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool ready() const { return master_ >= 0; }
    const std::string& path() const { return path_; }

    /// Every byte the device has read from the line so far.
    Bytes wire() const;
    /// Writes raw bytes to the line now (gives up when stopped).
    void send(const Bytes& bytes);
    /// Makes the device vanish: stops the thread and closes the master.
    void vanish();

private:
    void run();

    int master_ = -1;
    std::string path_;
    Handler handler_;
    int deafMs_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    Bytes wire_;
    std::thread thread_;
};

/// The message inside one raw frame (start and end bytes removed, escapes
/// undone).
Bytes unframe(const Bytes& frame);
/// A raw frame for `message`, escaping where needed.
Bytes frameOf(const Bytes& message);
