// SPDX-License-Identifier: Apache-2.0
#include "ui/history/recorder_host.h"

#include <QMetaObject>
#include <QPointer>
#include <QSettings>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "history/device_key.h"
#include "model/version.h"

namespace corvix::ui {

namespace {

const char* const KeyEnabled = "History/enabled";
const char* const KeyFolder = "History/folder";
const char* const KeyName = "History/authorName";
const char* const KeyEmail = "History/authorEmail";

bool SameSettings(const history::Settings& a, const history::Settings& b) {
    const bool sameAuthor =
        a.author.has_value() == b.author.has_value() &&
        (!a.author || (a.author->name == b.author->name && a.author->email == b.author->email));
    return a.enabled == b.enabled && a.folder == b.folder && a.program == b.program && sameAuthor;
}

}  // namespace

HistoryPrefs LoadHistoryPrefs(QSettings* settings) {
    HistoryPrefs prefs;
    if (settings == nullptr) return prefs;
    prefs.enabled = settings->value(KeyEnabled, true).toBool();
    prefs.folder = settings->value(KeyFolder).toString().toStdString();
    prefs.name = settings->value(KeyName).toString().toStdString();
    prefs.email = settings->value(KeyEmail).toString().toStdString();
    return prefs;
}

void SaveHistoryPrefs(QSettings* settings, const HistoryPrefs& prefs) {
    if (settings == nullptr) return;
    settings->setValue(KeyEnabled, prefs.enabled);
    settings->setValue(KeyFolder, QString::fromStdString(prefs.folder));
    settings->setValue(KeyName, QString::fromStdString(prefs.name));
    settings->setValue(KeyEmail, QString::fromStdString(prefs.email));
}

history::Settings RecorderSettings(const HistoryPrefs& prefs) {
    history::Settings s;
    s.enabled = prefs.enabled;
    const char* env = std::getenv("CORVIX_HISTORY");
    // Empty makes the recorder take CORVIX_HISTORY (or the default folder).
    s.folder = env != nullptr && *env != '\0' ? std::string() : prefs.folder;
    if (!prefs.name.empty()) s.author = history::Author{prefs.name, prefs.email};
    s.program = std::string("corvix ") + CORVIX_VERSION_STRING;
    return s;
}

struct CRecorderHost::Job {
    history::Operation operation = history::Operation::Read;
    std::shared_ptr<const ProjectBlock> block;
    std::string file, before;  // before: the path before a save
    std::vector<int> devices;
    std::string port;
    history::Settings settings;
};

// Everything the worker touches. The worker holds it too, so a worker still busy when the
// window goes (a commit stuck on a slow disk) is left to finish on its own.
struct CRecorderHost::Shared {
    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<Job> queue;
    bool busy = false;
    bool stop = false;
    QPointer<CRecorderHost> host;  // cleared, under `lock`, when the host goes

    // Worker-only state.
    std::unique_ptr<history::Recorder> recorder;
    history::Settings recorderSettings;
    std::map<std::string, history::ProjectIdentity> identities;  // by project file
    // The ids of `identities`, for the window's thread (under `lock`).
    std::map<std::string, std::string> knownIds;

    void Run(const std::shared_ptr<Shared>& self) {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> l(lock);
                wake.wait(l, [this] { return stop || !queue.empty(); });
                if (stop) return;
                job = std::move(queue.front());
                queue.pop_front();
                busy = true;
            }
            Handle(job, self);
            {
                std::lock_guard<std::mutex> l(lock);
                busy = false;
            }
            idle.notify_all();
        }
    }

    void Handle(const Job& job, const std::shared_ptr<Shared>& self) {
        if (!recorder || !SameSettings(recorderSettings, job.settings)) {
            recorder = std::make_unique<history::Recorder>(job.settings);
            recorderSettings = job.settings;
            identities.clear();
            {
                std::lock_guard<std::mutex> l(lock);
                knownIds.clear();
            }
            std::weak_ptr<Shared> weak = self;
            recorder->onWarning = [weak](const std::string& reason) {
                if (std::shared_ptr<Shared> s = weak.lock()) s->Tell(reason);
            };
        }
        if (!recorder->Enabled()) return;
        if (job.operation == history::Operation::Save && job.before != job.file) {
            // Save As: the new file is the same project, unless it was recorded as one already.
            auto known = identities.find(job.before);
            if (known != identities.end() && !known->second.id.empty() && !history::ReadSidecar(job.file)) {
                history::WriteSidecar(job.file, known->second.id);
                identities[job.file] = {job.file, known->second.id};
                std::lock_guard<std::mutex> l(lock);
                knownIds[job.file] = known->second.id;
            }
        }
        const history::ProjectIdentity& identity = Identity(job);
        switch (job.operation) {
            case history::Operation::Save:
                recorder->RecordSave(*job.block, identity);
                break;
            case history::Operation::Read:
            case history::Operation::Write:
                recorder->RecordRead(*job.block, job.devices, identity, job.port, job.operation);
                break;
            default:
                break;
        }
    }

    const history::ProjectIdentity& Identity(const Job& job) {
        auto it = identities.find(job.file);
        if (it != identities.end()) return it->second;
        // A project never saved has no file to keep its id beside: a new one, carried to the
        // file by its first save.
        history::ProjectIdentity identity = job.file.empty()
                                                ? history::ProjectIdentity{"", history::NewProjectId()}
                                                : recorder->Identify(*job.block, job.file, true);
        {
            std::lock_guard<std::mutex> l(lock);
            knownIds[job.file] = identity.id;
        }
        return identities.emplace(job.file, std::move(identity)).first->second;
    }

    void Tell(const std::string& reason) {
        std::lock_guard<std::mutex> l(lock);
        if (!host) return;
        CRecorderHost* h = host.data();
        QMetaObject::invokeMethod(
            h, [h, reason] { h->Told(reason); }, Qt::QueuedConnection);
    }
};

CRecorderHost::CRecorderHost(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>()) {
    shared_->host = this;
    std::thread([s = shared_] { s->Run(s); }).detach();
}

CRecorderHost::~CRecorderHost() {
    Drain(ExitBound);
    std::lock_guard<std::mutex> l(shared_->lock);
    shared_->host.clear();
    shared_->stop = true;
    shared_->queue.clear();
    shared_->wake.notify_all();
}

void CRecorderHost::SetSettings(history::Settings settings) { settings_ = std::move(settings); }

void CRecorderHost::Read(const ProjectBlock& project, const std::string& projectFile,
                         std::vector<int> devices, const std::string& port) {
    if (!settings_.enabled || devices.empty()) return;
    Enqueue({history::Operation::Read, std::make_shared<ProjectBlock>(project), projectFile, projectFile,
             std::move(devices), port, settings_});
}

void CRecorderHost::Written(const ProjectBlock& project, const std::string& projectFile,
                            std::vector<int> devices, const std::string& port) {
    if (!settings_.enabled || devices.empty()) return;
    Enqueue({history::Operation::Write, std::make_shared<ProjectBlock>(project), projectFile, projectFile,
             std::move(devices), port, settings_});
}

void CRecorderHost::Saved(const ProjectBlock& project, const std::string& before, const std::string& after) {
    if (!settings_.enabled) return;
    Enqueue({history::Operation::Save,
             std::make_shared<ProjectBlock>(project),
             after,
             before,
             {},
             "",
             settings_});
}

void CRecorderHost::Enqueue(Job job) {
    {
        std::lock_guard<std::mutex> l(shared_->lock);
        shared_->queue.push_back(std::move(job));
    }
    shared_->wake.notify_one();
}

bool CRecorderHost::Drain(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> l(shared_->lock);
    return shared_->idle.wait_for(l, bound, [this] { return shared_->queue.empty() && !shared_->busy; });
}

std::string CRecorderHost::ProjectId(const std::string& projectFile) const {
    std::lock_guard<std::mutex> l(shared_->lock);
    const auto it = shared_->knownIds.find(projectFile);
    return it == shared_->knownIds.end() ? std::string() : it->second;
}

void CRecorderHost::Told(const std::string& reason) {
    ++notices_;
    if (notify) notify(reason);
}

}  // namespace corvix::ui
