#include "support/fake_uc.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "link/back_end.h"
#include "support/temp_dir.h"
#include "support/test_env.h"

namespace {
FakeUc* gFake = nullptr;
}

FakeUc::FakeUc() {
    ctx_.isOpen = 1;
    ctx_.kind = LINK_SERIAL;
    ctx_.linkName = "USB";
    ctx_.timeoutMicroseconds = 1000000;
    ctx_.modeSwitchDelayMs = 5000;
    ctx_.handle = 7;
    static const LinkBackEnd backEnd{.close = &FakeUc::close,
                                     .command = &FakeUc::command,
                                     .statusText = &FakeUc::statusText,
                                     .exchangeFailure = "*** Failed to send command to ZORVI uC via USB"};
    ctx_.backEnd = &backEnd;
    handler_ = [](const Bytes&, Bytes&) -> uint32_t { return 532; };
    // A board of known serial number, whose verbs keep their recovery files
    // in the test's own folder (never the user's).
    ctx_.boardSerial = 7;
    ctx_.boardSerialKnown = true;
    ctx_.linkOption = "-usbcom COM7";
    static const std::string state = [] {
        const std::string dir = testdir::make("fake-uc-state");
        testenv::set("ZORVIUTIL_STATE_DIR", dir.c_str());
        return dir;
    }();
    gFake = this;
}

FakeUc::~FakeUc() {
    if (gFake == this) gFake = nullptr;
}

uint32_t FakeUc::command(uint32_t, uint32_t, uint32_t timeoutUs, uint32_t requestLength, const uint8_t* request,
                         uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength) {
    FakeUc& f = *gFake;
    Bytes req(request, request + requestLength);
    f.requests_.push_back(req);
    f.timeouts_.push_back(timeoutUs);
    Bytes answer;
    uint32_t status = 0;
    if (!f.queued_.empty()) {
        answer = std::move(f.queued_.front());
        f.queued_.pop_front();
        for (auto& [index, st] : f.queuedStatus_) {
            if (index == f.answered_) status = st;
        }
    } else {
        status = f.handler_(req, answer);
    }
    ++f.answered_;
    if (status != 0) return status;
    if (!answer.empty()) std::memcpy(reply, answer.data(), std::min<size_t>(answer.size(), replyCapacity));
    *replyLength = static_cast<uint32_t>(answer.size());
    return 0;
}

void FakeUc::queueFailure(uint32_t status) {
    queuedStatus_.push_back({answered_ + queued_.size(), status});
    queued_.push_back(Bytes{});
}

uint32_t FakeUc::close(uint32_t) {
    ++gFake->closeCalls_;
    return 0;
}

const wchar_t* FakeUc::statusText(uint32_t status, uint32_t) {
    return status == 532 ? L"ZORVI_TIMEOUT" : L"ZORVI_UNEXPECTED_ERROR";
}
