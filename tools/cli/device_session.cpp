#include "cli/device_session.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>

#include "link/frame.h"
#include "model/texts.h"

namespace corvix::cli {

using Clock = std::chrono::steady_clock;

// ---- notice queue ----

void NoticeQueue::Push(Notice notice) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(notice));
    }
    ready_.notify_one();
}

bool NoticeQueue::PopUntil(Clock::time_point until, Notice& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_until(lock, until, [this] { return !queue_.empty(); })) return false;
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

// ---- session ----

DeviceSession::DeviceSession(CBrondaleDoc& doc, const LinkOptions& options)
    : doc_(doc),
      options_(options),
      link_(&ui_,
            [this](CommNotice notice, const uint8_t* bytes, std::size_t length) {
                NoticeQueue::Notice n;
                switch (notice) {
                    case CommNotice::Sent:
                        n.kind = NoticeQueue::Kind::Sent;
                        if (bytes != nullptr) n.bytes.assign(bytes, bytes + length);
                        break;
                    case CommNotice::SendFailed:
                        n.kind = NoticeQueue::Kind::SendFailed;
                        break;
                    case CommNotice::Received:
                        n.kind = NoticeQueue::Kind::Received;
                        break;
                }
                queue_.Push(std::move(n));
            }),
      engine_(doc, link_, *this) {
    doc_.uiLanguage = options_.language;
    link_.settings = options_.serial;
}

DeviceSession::~DeviceSession() {
    link_.CloseLink();
    StopSignalThread();
}

void DeviceSession::CatchStopSignals() {
    if (signalThread_.joinable()) return;
    // Blocked here, before the worker starts, so that every later thread inherits the mask and
    // only the waiting thread below receives them. SIGUSR1 is how we end that thread.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signalThread_ = std::thread([this, set] {
        int signal = 0;
        sigwait(&set, &signal);
        if (signal != SIGUSR1) queue_.Push({NoticeQueue::Kind::Stop, {}});
        signalThreadEnded_ = true;
    });
}

void DeviceSession::StopSignalThread() {
    if (!signalThread_.joinable()) return;
    if (!signalThreadEnded_) pthread_kill(signalThread_.native_handle(), SIGUSR1);
    signalThread_.join();
}

int DeviceSession::Open() {
    link_.Connect(doc_.uiLanguage);
    return link_.IsConnected() ? ExitOk : ExitPort;
}

DeviceSession::Outcome DeviceSession::Run(const std::function<bool()>& done,
                                          std::optional<Clock::time_point> deadline, bool poll) {
    if (!timersStarted_) {
        // The timers start with the first operation, as the frame's start with the window.
        const Clock::time_point now = Clock::now();
        nextPoll_ = now + std::chrono::milliseconds(PollPeriodMs);
        nextTimeOut_ = now + std::chrono::milliseconds(TimeOutPeriodMs);
        timersStarted_ = true;
    }
    for (;;) {
        // The give-up closes the link; nothing more can come.
        if (!link_.IsConnected()) return Outcome::GaveUp;
        if (done && done()) return Outcome::Done;
        Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline) return Outcome::TimedOut;

        Clock::time_point wake = nextTimeOut_;
        if (poll) wake = std::min(wake, nextPoll_);
        if (deadline) wake = std::min(wake, *deadline);

        NoticeQueue::Notice notice;
        if (queue_.PopUntil(wake, notice)) {
            if (notice.kind == NoticeQueue::Kind::Stop) return Outcome::Stopped;
            Handle(notice);
            continue;
        }
        now = Clock::now();
        // One tick per timer and round; a late loop does not fire a burst of missed ticks.
        if (now >= nextTimeOut_) {
            nextTimeOut_ += std::chrono::milliseconds(TimeOutPeriodMs);
            if (nextTimeOut_ <= now) nextTimeOut_ = now + std::chrono::milliseconds(TimeOutPeriodMs);
            engine_.OnTimer(3);
        }
        if (now >= nextPoll_) {
            nextPoll_ += std::chrono::milliseconds(PollPeriodMs);
            if (nextPoll_ <= now) nextPoll_ = now + std::chrono::milliseconds(PollPeriodMs);
            if (poll && link_.IsConnected()) engine_.OnTimer(1);
        }
    }
}

void DeviceSession::Handle(const NoticeQueue::Notice& notice) {
    switch (notice.kind) {
        case NoticeQueue::Kind::Sent:
            engine_.OnSent(notice.bytes.data(), notice.bytes.size());
            break;
        case NoticeQueue::Kind::SendFailed:
            engine_.OnSendFailed();
            break;
        case NoticeQueue::Kind::Received: {
            uint8_t reception[MaxReceptionSize];
            const std::size_t n = link_.TakeReception(reception, sizeof reception);
            if (n == 0) break;
            if (onReply && ValidateFrame(reception, n)) {
                const FrameHeader h = DecodeHeader(reception, n);
                onReply(h, FrameData(reception, h));
            }
            engine_.OnReceived(reception, n);
            break;
        }
        case NoticeQueue::Kind::Stop:
            break;
    }
}

// ---- engine host ----

void DeviceSession::AppendCommLog(const std::string& entry) {
    if (!options_.log) return;
    std::fwrite(entry.data(), 1, entry.size(), stderr);
    std::fflush(stderr);
}

void DeviceSession::ShowMessage(const std::string& textUtf8, const std::string&) {
    // The one good news the engine announces goes to stdout; the rest are complaints.
    if (textUtf8 == Pick(txt::WriteDataSuccess, doc_.uiLanguage)) {
        writeSucceeded = true;
        std::printf("%s\n", textUtf8.c_str());
        std::fflush(stdout);
        return;
    }
    std::fprintf(stderr, "corvix-cli: %s\n", textUtf8.c_str());
    std::fflush(stderr);
}

void DeviceSession::RefreshInputStates() {
    if (onInputStates) onInputStates();
}

void DeviceSession::AppendEventText(const std::string& text) {
    if (onEventText) {
        onEventText(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace corvix::cli
