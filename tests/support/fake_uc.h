// An in-process fake microcontroller bound into a ConnectionContext: verbs
// run against it without any link library. A test scripts the replies with
// a handler and reads back every request that was sent.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/connection.h"

using Bytes = std::vector<uint8_t>;

class FakeUc {
public:
    /// Answers one request: fill `reply` and return 0, or return a non-zero
    /// link status (for example 532 for a time-out) to fail the exchange.
    using Handler = std::function<uint32_t(const Bytes& request, Bytes& reply)>;

    /// Binds a fresh serial-kind context ("USB" link name, 1 s time-out,
    /// all permissions off, normal mode) to this fake. Only one FakeUc may
    /// be alive at a time.
    FakeUc();
    ~FakeUc();
    FakeUc(const FakeUc&) = delete;
    FakeUc& operator=(const FakeUc&) = delete;

    ConnectionContext* context() { return &ctx_; }

    /// Replaces the handler (default: every request times out).
    void onRequest(Handler handler) { handler_ = std::move(handler); }
    /// Queues canned replies, answered in order before the handler is used.
    void queueReply(Bytes reply) { queued_.push_back(std::move(reply)); }
    /// Queues a link failure status.
    void queueFailure(uint32_t status);

    const std::vector<Bytes>& requests() const { return requests_; }
    const std::vector<uint32_t>& timeouts() const { return timeouts_; }
    int closeCalls() const { return closeCalls_; }

    // Entry points bound into the context.
    static uint32_t command(uint32_t handle, uint32_t flags, uint32_t timeoutUs, uint32_t requestLength,
                            const uint8_t* request, uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength);
    static uint32_t close(uint32_t handle);
    static const wchar_t* statusText(uint32_t status, uint32_t selector);

private:
    ConnectionContext ctx_;
    Handler handler_;
    std::deque<Bytes> queued_;
    std::vector<std::pair<size_t, uint32_t>> queuedStatus_;
    size_t answered_ = 0;
    std::vector<Bytes> requests_;
    std::vector<uint32_t> timeouts_;
    int closeCalls_ = 0;
};
