// SPDX-License-Identifier: Apache-2.0
// The link session's opening of the port: at once, or for a network port on a thread of its
// own; and its side of a lost link: taking a hang-up over, retrying the same port name on the
// session's own schedule, and ending the wait on the user's command. The retry is the
// ordinary open, so it works for every kind of port the link can open.
#include "link/link_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>
#include <thread>

#include "link/net_port.h"

namespace corvix {

namespace {

// A port prepared for an open that nobody wants any more.
void Discard(PreparedPort& prepared) {
    if (prepared.port && prepared.result == LinkOpen::Opened) prepared.port->Close();
}

}  // namespace

struct LinkSession::Poster {
    std::mutex lock;
    bool sessionGone = false;  // under lock
    PostFn post;
};

// Calls off one background open: the port's waits for the server end as soon as it is signalled.
struct LinkSession::CancelEvent {
    int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~CancelEvent() {
        if (fd >= 0) ::close(fd);
    }
    void Signal() const {
        const uint64_t one = 1;
        if (fd >= 0) (void)!::write(fd, &one, sizeof one);
    }
};

LinkOpen LinkSession::Connect(int cancelFd) {
    waiting_ = false;
    EndAttempt();
    const LinkOpen result = link_->Connect(cancelFd);
    if (result == LinkOpen::Opened) freshness_.Expect(now_());
    return result;
}

void LinkSession::Disconnect() {
    waiting_ = false;
    EndAttempt();
    link_->Disconnect();
    freshness_.StopExpecting();
}

void LinkSession::ConnectInBackground(std::function<void(LinkOpen)> done) {
    if (!done) done = [](LinkOpen) {};
    if (!IsNetPortName(link_->settings.portName) || link_->IsConnected()) {
        done(Connect());
        return;
    }
    waiting_ = false;
    EndAttempt();
    connectDone_ = std::move(done);
    PrepareInBackground([this](PreparedPort prepared) {
        const auto tell = std::move(connectDone_);
        connectDone_ = nullptr;
        const LinkOpen result = link_->ConnectPrepared(std::move(prepared));
        if (result == LinkOpen::Opened) freshness_.Expect(now_());
        tell(result);
    });
}

PortChange LinkSession::ApplyPortName(const std::string& name) {
    if (!connectDone_ || name == link_->settings.portName) return link_->ApplyPortName(name);
    // An open under way is for the old name: start over on the new one.
    auto done = std::move(connectDone_);
    EndAttempt();
    const PortChange change = link_->ApplyPortName(name);
    ConnectInBackground(std::move(done));
    return change;
}

void LinkSession::SetReconnect(bool on) {
    reconnect_ = on;
    if (!on && waiting_) {
        waiting_ = false;
        EndAttempt();
    }
}

bool LinkSession::TakeOverLostLink() {
    if (!reconnect_ || !link_->IsConnected()) return false;
    // A notice of an earlier run of the link says nothing about the one open now.
    const CommWorker* worker = link_->Worker();
    if (worker == nullptr || !worker->PortHungUp()) return false;
    link_->CloseLink();
    // Its answer cannot come any more; resending into a closed link would end in a give-up
    // message while the session is waiting quietly.
    engine_->Abandon();
    waiting_ = true;
    nextRetry_ = now_() + RetryPeriod;
    return true;
}

void LinkSession::TryReopen(Clock::time_point now) {
    // A port that is not back yet fails quietly; the next try comes RetryPeriod later.
    if (!IsNetPortName(link_->settings.portName)) {
        if (link_->Connect() == LinkOpen::Opened) Reopened(now);
        return;
    }
    if (attempt_) return;  // the last try has not answered yet
    PrepareInBackground([this](PreparedPort prepared) {
        if (link_->ConnectPrepared(std::move(prepared)) == LinkOpen::Opened) Reopened(now_());
    });
}

void LinkSession::Reopened(Clock::time_point now) {
    waiting_ = false;
    Report(LinkRestored{});
    // Poll at once, so the states on screen are current again without waiting a period.
    if (polling_ && link_->IsConnected() && engine_->Idle()) {
        engine_->PollStatus();
        nextPoll_ = now + PollPeriod;
    }
}

void LinkSession::PrepareInBackground(std::function<void(PreparedPort)> then) {
    if (!poster_) {
        poster_ = std::make_shared<Poster>();
        poster_->post = post_;
    }
    const uint64_t id = attempt_ = ++lastAttempt_;
    attemptCancel_ = std::make_shared<CancelEvent>();
    auto prepare = [this, id, poster = poster_, cancel = attemptCancel_, alive = std::weak_ptr<bool>(alive_),
                    settings = link_->settings, factory = link_->Factory(), then] {
        PreparedPort prepared = CommLink::PreparePort(settings, factory, cancel->fd);
        std::lock_guard<std::mutex> g(poster->lock);
        if (poster->sessionGone) {
            Discard(prepared);
            return;
        }
        poster->post([this, id, alive, then, prepared]() mutable {
            // An attempt ended meanwhile: its port is nobody's.
            if (!alive.lock() || id != attempt_) {
                Discard(prepared);
                return;
            }
            attempt_ = 0;
            attemptCancel_.reset();
            then(std::move(prepared));
        });
    };
    try {
        std::thread(std::move(prepare)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: open here, as a device path is opened.
        attempt_ = 0;
        attemptCancel_.reset();
        then(CommLink::PreparePort(link_->settings, link_->Factory()));
    }
}

void LinkSession::EndAttempt() {
    connectDone_ = nullptr;
    attempt_ = 0;
    if (attemptCancel_) attemptCancel_->Signal();
    attemptCancel_.reset();
}

void LinkSession::EndAttempts() {
    EndAttempt();
    if (!poster_) return;
    std::lock_guard<std::mutex> g(poster_->lock);
    poster_->sessionGone = true;
}

}  // namespace corvix
