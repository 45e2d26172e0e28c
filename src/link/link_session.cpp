// SPDX-License-Identifier: Apache-2.0
#include "link/link_session.h"

#include <algorithm>

#include "link/reception_drain.h"

namespace corvix {

LinkSession::LinkSession(CBrondaleDoc& doc, PostFn post, ResultFn report, NowFn now)
    : doc_(doc),
      post_(std::move(post)),
      now_(now ? std::move(now) : NowFn(Clock::now)),
      report_(std::move(report)),
      alive_(std::make_shared<bool>(true)) {
    link_ = std::make_unique<CommLink>([this, alive = std::weak_ptr<bool>(alive_)](
                                           CommNotice notice, const uint8_t* bytes, std::size_t length) {
        // Worker thread: copy what the notice carries and hand it to the host's loop.
        std::vector<uint8_t> copy;
        if (bytes != nullptr) copy.assign(bytes, bytes + length);
        post_([this, alive, notice, copy = std::move(copy)]() mutable {
            if (alive.lock()) OnNotice(notice, std::move(copy));
        });
    });
    engine_ = std::make_unique<ProtocolEngine>(doc_, *link_, [this](const EngineResult& r) { Report(r); });
}

void LinkSession::Report(const EngineResult& result) {
    if (std::holds_alternative<StatusUpdated>(result)) freshness_.Answered(now_(), localClock_());
    if (report_) report_(result);
}

LinkSession::~LinkSession() {
    EndAttempts();
    *alive_ = false;
    alive_.reset();
    link_->CloseLink();
}

void LinkSession::OnNotice(CommNotice notice, std::vector<uint8_t> bytes) {
    switch (notice) {
        case CommNotice::Sent:
            engine_->OnSent(bytes.data(), bytes.size());
            break;
        case CommNotice::SendFailed:
            // A write that failed because the port went away is the loss itself.
            if (TakeOverLostLink())
                engine_->OnHangUp();
            else
                engine_->OnSendFailed();
            break;
        case CommNotice::Received:
            DrainReceptions(*link_, *engine_, [this, alive = std::weak_ptr<bool>(alive_)] {
                post_([this, alive] {
                    if (alive.lock()) OnNotice(CommNotice::Received, {});
                });
            });
            break;
        case CommNotice::HungUp:
            // With reconnect on, a hang-up already taken over (or one of an earlier run of the
            // link) is not told twice.
            if (!reconnect_ || TakeOverLostLink()) engine_->OnHangUp();
            break;
    }
}

void LinkSession::StartTimers() {
    const Clock::time_point now = now_();
    nextTimeOut_ = now + TimeOutPeriod;
    nextPoll_ = now + PollPeriod;
    timersRunning_ = true;
}

LinkSession::Clock::time_point LinkSession::NextDue() const {
    if (!timersRunning_) return Clock::time_point::max();
    const Clock::time_point due = polling_ ? std::min(nextTimeOut_, nextPoll_) : nextTimeOut_;
    return waiting_ ? std::min(due, nextRetry_) : due;
}

void LinkSession::RunDueTimers() {
    if (!timersRunning_) return;
    const Clock::time_point now = now_();
    if (now >= nextTimeOut_) {
        nextTimeOut_ += TimeOutPeriod;
        if (nextTimeOut_ <= now) nextTimeOut_ = now + TimeOutPeriod;
        engine_->OnTimer(3);
    }
    if (now >= nextPoll_) {
        nextPoll_ += PollPeriod;
        if (nextPoll_ <= now) nextPoll_ = now + PollPeriod;
        if (polling_) engine_->OnTimer(1);
    }
    if (waiting_ && now >= nextRetry_) {
        nextRetry_ = now + RetryPeriod;
        TryReopen(now);
    }
}

}  // namespace corvix
