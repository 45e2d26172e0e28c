// SPDX-License-Identifier: Apache-2.0
#include "history/repository.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "history/device_key.h"
#include "history/git_api.h"
#include "history/state_cache.h"
#include "history/trailers.h"
#include "model/compare.h"

namespace corvix::history {
namespace {

// Owners of libgit2 objects, freed on every path out.
template <typename T, auto git::Functions::*Free>
struct Owned {
    T* p = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { (git::Api().*Free)(p); }
    T** operator&() { return &p; }
    T* get() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};
using Commit = Owned<git_commit, &git::Functions::git_commit_free>;
using Tree = Owned<git_tree, &git::Functions::git_tree_free>;
using TreeEntry = Owned<git_tree_entry, &git::Functions::git_tree_entry_free>;
using Reference = Owned<git_reference, &git::Functions::git_reference_free>;
using Blob = Owned<git_blob, &git::Functions::git_blob_free>;
using Object = Owned<git_object, &git::Functions::git_object_free>;
using Signature = Owned<git_signature, &git::Functions::git_signature_free>;
using Walk = Owned<git_revwalk, &git::Functions::git_revwalk_free>;
using TreeBuilder = Owned<git_treebuilder, &git::Functions::git_treebuilder_free>;

std::string LastError(const char* what) {
    const git_error* e = git::Api().git_error_last();
    return std::string(what) + ": " + (e != nullptr && e->message != nullptr ? e->message : "unknown error");
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

// The OS user: the full name from the password database when it has one, else the login.
Author OsUser() {
    std::string login, full;
    if (const passwd* pw = getpwuid(getuid())) {
        login = pw->pw_name != nullptr ? pw->pw_name : "";
        if (pw->pw_gecos != nullptr) full = std::string(pw->pw_gecos).substr(0, std::strcspn(pw->pw_gecos, ","));
    }
    if (login.empty()) login = "user" + std::to_string(getuid());
    return {full.empty() ? login : full, login + "@" + HostName()};
}

// An exclusive flock on a file in the git folder, waited for at most LockWaitMs.
class WriterLock {
  public:
    explicit WriterLock(const std::string& gitDir) {
        fd_ = open((gitDir + "corvix-history.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) return;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Repository::LockWaitMs);
        while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() > until) {
                close(fd_);
                fd_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        held_ = true;
    }
    ~WriterLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    bool Held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

int ChangedFields(git_repository* repo, const git_tree_entry* before, const std::string& after) {
    std::unique_ptr<DeviceRecord> old;
    if (before != nullptr) {
        Blob blob;
        if (git::Api().git_blob_lookup(&blob, repo, git::Api().git_tree_entry_id(before)) == 0)
            old = RecordFromSettings(std::string_view(static_cast<const char*>(git::Api().git_blob_rawcontent(blob.get())),
                                                      static_cast<std::size_t>(git::Api().git_blob_rawsize(blob.get()))));
    }
    if (!old) old = std::make_unique<DeviceRecord>();  // first state: every field that is set
    std::unique_ptr<DeviceRecord> now = RecordFromSettings(after);
    if (!now) return 0;
    return static_cast<int>(DiffDevices(*old, *now, LangEnglish).size());
}

std::string Text(const git_oid* oid) {
    char hex[GIT_OID_HEXSZ + 1];
    git::Api().git_oid_tostr(hex, sizeof hex, oid);
    return hex;
}

std::string BaselineRef(const std::string& path) {
    std::string name = path;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) name.resize(name.size() - 5);
    return "refs/tags/baseline/" + name;
}

State StateOf(const git_commit* commit, const MessageFields& fields, const DeviceLine* device) {
    State s;
    s.rev = Text(git::Api().git_commit_id(commit));
    s.time = git::Api().git_commit_time(commit);
    s.offsetMinutes = git::Api().git_commit_time_offset(commit);
    const git_signature* author = git::Api().git_commit_author(commit);
    s.user = author->name;
    s.email = author->email;
    s.port = fields.port;
    s.changed = device != nullptr ? device->changed : 0;
    s.operation = fields.operation;
    if (s.operation == "read" && s.changed == 0) s.operation = "check";
    return s;
}

}  // namespace

const char* OperationName(Operation op) {
    switch (op) {
    case Operation::Read: return "read";
    case Operation::Write: return "write";
    case Operation::Save: return "save";
    case Operation::Check: return "check";
    case Operation::Restore: return "restore";
    }
    return "read";
}

std::string IsoTime(int64_t time, int offsetMinutes) {
    const time_t shifted = static_cast<time_t>(time + offsetMinutes * 60LL);
    tm parts{};
    gmtime_r(&shifted, &parts);
    char text[96];
    const int off = (offsetMinutes < 0 ? -offsetMinutes : offsetMinutes) % (24 * 60);
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  offsetMinutes < 0 ? '-' : '+', off / 60, off % 60);
    return text;
}

Repository::Repository(git_repository* repo) : repo_(repo) {}
Repository::~Repository() { git::Api().git_repository_free(repo_); }

std::unique_ptr<Repository> Repository::Open(const std::string& dir, bool create, std::string& error) {
    if (!git::Load(error)) return nullptr;
    git_repository* repo = nullptr;
    int rc = git::Api().git_repository_open_ext(&repo, dir.c_str(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    if (rc == GIT_ENOTFOUND && create) {
        git_repository_init_options options = GIT_REPOSITORY_INIT_OPTIONS_INIT;
        options.flags = GIT_REPOSITORY_INIT_MKPATH;
        options.initial_head = "main";
        rc = git::Api().git_repository_init_ext(&repo, dir.c_str(), &options);
        if (rc != 0) {
            error = LastError(dir.c_str());
            return nullptr;
        }
    } else if (rc != 0) {
        error = rc == GIT_ENOTFOUND ? dir + ": no history repository" : LastError(dir.c_str());
        return nullptr;
    }
    return std::unique_ptr<Repository>(new Repository(repo));
}

CommitResult Repository::Record(const std::vector<DeviceFile>& files, const CommitInfo& info) {
    CommitResult result;
    WriterLock lock(git::Api().git_repository_path(repo_));
    if (!lock.Held()) {
        result.error = "another program holds the history's lock";
        return result;
    }
    // The branch may move under us when a program outside ours commits (git itself): retry on
    // a fresh parent until the branch is updated from where this attempt started.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2 * attempt));
        Reference head;
        std::string branch = "HEAD";
        Commit parent;
        Tree parentTree;
        const int rc = git::Api().git_repository_head(&head, repo_);
        if (rc == GIT_EUNBORNBRANCH || rc == GIT_ENOTFOUND) {
            Reference symbolic;
            if (git::Api().git_reference_lookup(&symbolic, repo_, "HEAD") == 0 &&
                git::Api().git_reference_type(symbolic.get()) == GIT_REFERENCE_SYMBOLIC)
                branch = git::Api().git_reference_symbolic_target(symbolic.get());
            TreeBuilder builder;
            git_oid empty;
            if (git::Api().git_treebuilder_new(&builder, repo_, nullptr) != 0 || git::Api().git_treebuilder_write(&empty, builder.get()) != 0 ||
                git::Api().git_tree_lookup(&parentTree, repo_, &empty) != 0) {
                result.error = LastError("empty tree");
                return result;
            }
        } else if (rc != 0) {
            result.error = LastError("HEAD");
            return result;
        } else {
            branch = git::Api().git_reference_name(head.get());
            if (git::Api().git_commit_lookup(&parent, repo_, git::Api().git_reference_target(head.get())) != 0 ||
                git::Api().git_commit_tree(&parentTree, parent.get()) != 0) {
                result.error = LastError("HEAD");
                return result;
            }
        }

        std::vector<DeviceLine> devices;
        std::vector<git_oid> blobs(files.size());
        std::vector<git_tree_update> updates;
        std::vector<std::string> names;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const DeviceFile& f = files[i];
            if (git::Api().git_blob_create_from_buffer(&blobs[i], repo_, f.json.data(), f.json.size()) != 0) {
                result.error = LastError("writing a device file");
                return result;
            }
            TreeEntry before;
            const bool had = git::Api().git_tree_entry_bypath(&before, parentTree.get(), f.path.c_str()) == 0;
            if (had && git::Api().git_oid_equal(git::Api().git_tree_entry_id(before.get()), &blobs[i])) {
                if (info.operation != Operation::Save) devices.push_back({f.path, 0});
                continue;
            }
            const int changed = ChangedFields(repo_, had ? before.get() : nullptr, f.json);
            devices.push_back({f.path, changed});
            names.push_back(f.name);
            git_tree_update u{};
            u.action = GIT_TREE_UPDATE_UPSERT;
            u.id = blobs[i];
            u.filemode = GIT_FILEMODE_BLOB;
            u.path = f.path.c_str();
            updates.push_back(u);
        }
        if (devices.empty()) {
            result.ok = true;  // a save that changed no device: nothing to record
            return result;
        }
        git_oid treeId;
        if (updates.empty())
            git::Api().git_oid_cpy(&treeId, git::Api().git_tree_id(parentTree.get()));
        else if (git::Api().git_tree_create_updated(&treeId, repo_, parentTree.get(), updates.size(), updates.data()) != 0) {
            result.error = LastError("tree");
            return result;
        }
        Tree tree;
        if (git::Api().git_tree_lookup(&tree, repo_, &treeId) != 0) {
            result.error = LastError("tree");
            return result;
        }

        Signature sig;
        int sigRc = -1;
        if (info.author)
            sigRc = git::Api().git_signature_now(&sig, info.author->name.c_str(), info.author->email.c_str());
        else if ((sigRc = git::Api().git_signature_default(&sig, repo_)) != 0) {
            const Author user = OsUser();
            sigRc = git::Api().git_signature_now(&sig, user.name.c_str(), user.email.c_str());
        }
        if (sigRc != 0) {
            result.error = LastError("author");
            return result;
        }
        MessageFields fields;
        fields.operation = OperationName(info.operation);
        fields.port = info.port;
        fields.version = info.program;
        fields.host = info.host.empty() ? HostName() : info.host;
        fields.devices = devices;
        const std::string message = ComposeMessage(fields, names);

        git_oid commitId;
        const git_commit* parents[1] = {parent.get()};
        if (git::Api().git_commit_create(&commitId, repo_, nullptr, sig.get(), sig.get(), nullptr, message.c_str(), tree.get(),
                              parent ? 1 : 0, parents) != 0) {
            result.error = LastError("commit");
            return result;
        }
        Reference updated;
        const std::string log = "corvix: " + fields.operation;
        const int refRc = parent ? git::Api().git_reference_create_matching(&updated, repo_, branch.c_str(), &commitId, 1,
                                                                 git::Api().git_commit_id(parent.get()), log.c_str())
                                 : git::Api().git_reference_create(&updated, repo_, branch.c_str(), &commitId, 0, log.c_str());
        if (refRc == GIT_EMODIFIED || refRc == GIT_ELOCKED || refRc == GIT_EEXISTS) continue;
        if (refRc != 0) {
            result.error = LastError("branch");
            return result;
        }
        result.ok = true;
        result.rev = Text(&commitId);

        // Bring the working folder's copies of these files up to date, so that git status stays
        // clean and a pull can merge. The commit stands whether or not this works.
        if (!git::Api().git_repository_is_bare(repo_) && !updates.empty()) {
            std::vector<char*> paths;
            for (const git_tree_update& u : updates) paths.push_back(const_cast<char*>(u.path));
            git_checkout_options options = GIT_CHECKOUT_OPTIONS_INIT;
            options.checkout_strategy = GIT_CHECKOUT_FORCE | GIT_CHECKOUT_DISABLE_PATHSPEC_MATCH;
            options.paths = {paths.data(), paths.size()};
            options.baseline = parentTree.get();
            if (git::Api().git_checkout_tree(repo_, reinterpret_cast<const git_object*>(tree.get()), &options) != 0)
                result.warning = LastError("working folder");
        }
        return result;
    }
    result.error = "the history's branch kept moving; gave up";
    return result;
}

std::optional<std::vector<State>> Repository::States(const std::string& path, std::string& error) {
    std::vector<State> states;
    git_oid head;
    if (git::Api().git_repository_head_unborn(repo_) == 1 || git::Api().git_reference_name_to_id(&head, repo_, "HEAD") != 0) return states;
    const std::string cacheFile = StateCacheFile(git::Api().git_repository_path(repo_), path);
    std::optional<CachedStates> cache = LoadStateCache(cacheFile);
    git_oid tip;
    if (cache && (git::Api().git_oid_fromstr(&tip, cache->tip.c_str()) != 0 ||
                  (!git::Api().git_oid_equal(&tip, &head) && git::Api().git_graph_descendant_of(repo_, &head, &tip) != 1)))
        cache.reset();  // the history was rewritten under the cache: walk it whole
    if (!cache || !git::Api().git_oid_equal(&tip, &head)) {
        Walk walk;
        if (git::Api().git_revwalk_new(&walk, repo_) != 0 ||
            git::Api().git_revwalk_sorting(walk.get(), GIT_SORT_TOPOLOGICAL | GIT_SORT_TIME) != 0 ||
            git::Api().git_revwalk_push(walk.get(), &head) != 0 || (cache && git::Api().git_revwalk_hide(walk.get(), &tip) != 0)) {
            error = LastError("history");
            return std::nullopt;
        }
        git_oid id;
        int rc;
        while ((rc = git::Api().git_revwalk_next(&id, walk.get())) == 0) {
            Commit commit;
            if (git::Api().git_commit_lookup(&commit, repo_, &id) != 0) {
                error = LastError("history");
                return std::nullopt;
            }
            const char* message = git::Api().git_commit_message(commit.get());
            if (message == nullptr || std::strstr(message, path.c_str()) == nullptr) continue;
            const MessageFields fields = ParseMessage(message);
            if (const DeviceLine* device = fields.Device(path)) states.push_back(StateOf(commit.get(), fields, device));
        }
        if (rc != GIT_ITEROVER) {
            error = LastError("history");
            return std::nullopt;
        }
        if (cache) states.insert(states.end(), cache->newestFirst.begin(), cache->newestFirst.end());
        // Kept for the next listing; a repository that cannot be written is listed all the same.
        SaveStateCache(cacheFile, {Text(&head), states});
    } else {
        states = std::move(cache->newestFirst);
    }
    if (const std::optional<std::string> baseline = Baseline(path))
        for (State& s : states) s.baseline = s.rev == *baseline;
    return states;
}

std::optional<std::pair<State, std::string>> Repository::StateAt(const std::string& rev, const std::string& path,
                                                                 std::string& error) {
    Object object, peeled;
    if (git::Api().git_revparse_single(&object, repo_, rev.c_str()) != 0 ||
        git::Api().git_object_peel(&peeled, object.get(), GIT_OBJECT_COMMIT) != 0) {
        error = "unknown revision '" + rev + "'";
        return std::nullopt;
    }
    const auto* commit = reinterpret_cast<const git_commit*>(peeled.get());
    Tree tree;
    TreeEntry entry;
    Blob blob;
    if (git::Api().git_commit_tree(&tree, commit) != 0 || git::Api().git_tree_entry_bypath(&entry, tree.get(), path.c_str()) != 0 ||
        git::Api().git_blob_lookup(&blob, repo_, git::Api().git_tree_entry_id(entry.get())) != 0) {
        error = "revision " + rev + " holds no state of this device";
        return std::nullopt;
    }
    const MessageFields fields = ParseMessage(git::Api().git_commit_message(commit));
    State s = StateOf(commit, fields, fields.Device(path));
    const std::optional<std::string> baseline = Baseline(path);
    s.baseline = baseline && *baseline == s.rev;
    std::string text(static_cast<const char*>(git::Api().git_blob_rawcontent(blob.get())),
                     static_cast<std::size_t>(git::Api().git_blob_rawsize(blob.get())));
    return std::make_pair(std::move(s), std::move(text));
}

std::optional<std::string> Repository::Latest(const std::string& path) {
    std::string error;
    if (git::Api().git_repository_head_unborn(repo_) == 1) return std::nullopt;
    auto state = StateAt("HEAD", path, error);
    if (!state) return std::nullopt;
    return std::move(state->second);
}

std::optional<std::string> Repository::Baseline(const std::string& path) {
    git_oid id;
    if (git::Api().git_reference_name_to_id(&id, repo_, BaselineRef(path).c_str()) != 0) return std::nullopt;
    return Text(&id);
}

bool Repository::SetBaseline(const std::string& path, const std::string& rev, std::string& error) {
    auto state = StateAt(rev, path, error);
    if (!state) return false;
    git_oid id;
    git::Api().git_oid_fromstr(&id, state->first.rev.c_str());
    Reference ref;
    if (git::Api().git_reference_create(&ref, repo_, BaselineRef(path).c_str(), &id, 1, "corvix: baseline") != 0) {
        error = LastError("baseline");
        return false;
    }
    return true;
}

std::optional<std::string> Repository::FindProject(const std::vector<std::pair<int, std::string>>& slotTexts) {
    if (slotTexts.empty() || git::Api().git_repository_head_unborn(repo_) == 1) return std::nullopt;
    Object head;
    Tree root;
    TreeEntry projects;
    if (git::Api().git_revparse_single(&head, repo_, "HEAD^{tree}") != 0) return std::nullopt;
    const auto* tree = reinterpret_cast<const git_tree*>(head.get());
    if (git::Api().git_tree_entry_bypath(&projects, tree, "projects") != 0 ||
        git::Api().git_tree_lookup(&root, repo_, git::Api().git_tree_entry_id(projects.get())) != 0)
        return std::nullopt;
    std::vector<git_oid> wanted(slotTexts.size());
    for (std::size_t i = 0; i < slotTexts.size(); ++i)
        git::Api().git_odb_hash(&wanted[i], slotTexts[i].second.data(), slotTexts[i].second.size(), GIT_OBJECT_BLOB);
    for (std::size_t p = 0; p < git::Api().git_tree_entrycount(root.get()); ++p) {
        const git_tree_entry* project = git::Api().git_tree_entry_byindex(root.get(), p);
        if (git::Api().git_tree_entry_type(project) != GIT_OBJECT_TREE) continue;
        Tree files;
        if (git::Api().git_tree_lookup(&files, repo_, git::Api().git_tree_entry_id(project)) != 0) continue;
        bool all = true;
        for (std::size_t i = 0; i < slotTexts.size() && all; ++i) {
            const git_tree_entry* f =
                git::Api().git_tree_entry_byname(files.get(), (std::to_string(slotTexts[i].first) + ".json").c_str());
            all = f != nullptr && git::Api().git_oid_equal(git::Api().git_tree_entry_id(f), &wanted[i]);
        }
        if (all) return std::string(git::Api().git_tree_entry_name(project));
    }
    return std::nullopt;
}

}  // namespace corvix::history
