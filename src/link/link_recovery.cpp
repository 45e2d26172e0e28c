// The link session's side of a lost link: taking a hang-up over, retrying the same port name
// on the session's own schedule, and ending the wait on the user's command. The retry is the
// ordinary open, so it works for every kind of port the link can open.
#include "link/link_session.h"

#include <thread>

#include "link/net_port.h"

namespace corvix {

LinkOpen LinkSession::Connect() {
    waiting_ = false;
    const LinkOpen result = link_->Connect();
    if (result == LinkOpen::Opened) freshness_.Expect(now_());
    return result;
}

void LinkSession::Disconnect() {
    waiting_ = false;
    link_->Disconnect();
    freshness_.StopExpecting();
}

void LinkSession::SetReconnect(bool on) {
    reconnect_ = on;
    if (!on) waiting_ = false;
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
    const std::string name = link_->settings.portName;
    if (!IsNetPortName(name)) {
        ReopenNow(now);
        return;
    }
    if (probing_) return;  // the last try has not answered yet
    probing_ = true;
    std::thread([probe = probe_, alive = std::weak_ptr<bool>(alive_), name, this] {
        NetSerialPort port;
        const bool answered = port.Open(name);
        port.Close();
        std::lock_guard<std::mutex> g(probe->lock);
        if (probe->cancelled) return;
        probe->post([alive, answered, this] {
            if (!alive.lock()) return;
            probing_ = false;
            if (answered && waiting_) ReopenNow(now_());
        });
    }).detach();
}

void LinkSession::ReopenNow(Clock::time_point now) {
    // A port that is not back yet fails quietly; the next try comes RetryPeriod later.
    if (link_->Connect() != LinkOpen::Opened) return;
    waiting_ = false;
    Report(LinkRestored{});
    // Poll at once, so the states on screen are current again without waiting a period.
    if (polling_ && link_->IsConnected() && engine_->Idle()) {
        engine_->PollStatus();
        nextPoll_ = now + PollPeriod;
    }
}

}  // namespace corvix
