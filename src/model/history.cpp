// SPDX-License-Identifier: Apache-2.0
#include "model/history.h"

#include <cstring>
#include <iterator>

#include "model/gbk.h"
#include "model/texts.h"

namespace corvix {

struct Span {
    uint32_t offset;
    uint32_t length;
};

// How one slot of one state is made from the other state: copy slot `source` over it, then
// exclusive-or `bytes` at the spans.
struct Recipe {
    uint8_t slot;
    uint8_t source;
    std::vector<Span> spans;
    std::vector<uint8_t> bytes;
};

struct ProjectHistory::Step {
    StepInfo info;
    uint64_t mergeKey = 0;
    std::vector<Recipe> shared;    // slots that change in place: the same bytes both ways
    std::vector<Recipe> forward;   // slots of the after state taken from a neighbour
    std::vector<Recipe> backward;  // slots of the before state taken from a neighbour
    std::size_t bytes = 0;

    bool Empty() const { return shared.empty() && forward.empty() && backward.empty(); }
};

namespace {

constexpr int SlotCount = MaxDevices + 1;  // the head (open flag, count, name), then each device
constexpr std::size_t HeadSize = offsetof(ProjectBlock, devices);
static_assert(HeadSize == 108);
// Differences closer than this are kept as one span: a span costs more than a few equal bytes.
constexpr uint32_t JoinGap = 8;

std::size_t SlotOffset(int slot) { return slot == 0 ? 0 : HeadSize + (slot - 1) * sizeof(DeviceRecord); }
std::size_t SlotSize(int slot) { return slot == 0 ? HeadSize : sizeof(DeviceRecord); }

const uint8_t* SlotBytes(const ProjectBlock& block, int slot) {
    return reinterpret_cast<const uint8_t*>(&block) + SlotOffset(slot);
}
uint8_t* SlotBytes(ProjectBlock& block, int slot) {
    return reinterpret_cast<uint8_t*>(&block) + SlotOffset(slot);
}

bool SlotsEqual(const ProjectBlock& a, int slotA, const ProjectBlock& b, int slotB) {
    return SlotSize(slotA) == SlotSize(slotB) &&
           std::memcmp(SlotBytes(a, slotA), SlotBytes(b, slotB), SlotSize(slotA)) == 0;
}

// The recipe that makes slot `slot` of `target` from slot `source` of `from`.
Recipe MakeRecipe(const ProjectBlock& target, int slot, const ProjectBlock& from, int source) {
    Recipe r{static_cast<uint8_t>(slot), static_cast<uint8_t>(source), {}, {}};
    const uint8_t* t = SlotBytes(target, slot);
    const uint8_t* f = SlotBytes(from, source);
    const uint32_t size = static_cast<uint32_t>(SlotSize(slot));
    uint32_t i = 0;
    while (i < size) {
        if (t[i] == f[i]) {
            ++i;
            continue;
        }
        const uint32_t start = i;
        uint32_t end = i + 1;  // one past the last differing byte
        for (uint32_t j = end; j < size && j < end + JoinGap; ++j)
            if (t[j] != f[j]) end = j + 1;
        // Keep extending while differences follow within the gap.
        for (;;) {
            uint32_t next = end;
            for (uint32_t j = end; j < size && j < end + JoinGap; ++j)
                if (t[j] != f[j]) next = j + 1;
            if (next == end) break;
            end = next;
        }
        r.spans.push_back({start, end - start});
        for (uint32_t j = start; j < end; ++j) r.bytes.push_back(static_cast<uint8_t>(t[j] ^ f[j]));
        i = end;
    }
    r.spans.shrink_to_fit();
    r.bytes.shrink_to_fit();
    return r;
}

// The neighbouring slot of `other` that holds exactly what slot `slot` of `block` holds, or
// `slot` itself: a record moved by one place costs nothing.
int SourceOf(const ProjectBlock& block, int slot, const ProjectBlock& other, bool allowMoves) {
    if (slot == 0 || !allowMoves) return slot;
    for (int j : {slot - 1, slot + 1})
        if (j >= 1 && j < SlotCount && SlotsEqual(block, slot, other, j)) return j;
    return slot;
}

std::size_t RecipeBytes(const Recipe& r) {
    return sizeof(Recipe) + r.spans.capacity() * sizeof(Span) + r.bytes.capacity();
}

std::size_t StepBytes(const ProjectHistory::Step& s) {
    std::size_t total = sizeof(s) + s.info.nameGbk.capacity();
    for (const auto* list : {&s.shared, &s.forward, &s.backward})
        for (const Recipe& r : *list) total += RecipeBytes(r);
    return total;
}

// Adds slot `slot`'s change from `before` to `after` to `step`.
void AddSlot(ProjectHistory::Step& step, const ProjectBlock& before, const ProjectBlock& after, int slot,
             bool allowMoves) {
    const int forwardSource = SourceOf(after, slot, before, allowMoves);
    const int backwardSource = SourceOf(before, slot, after, allowMoves);
    if (forwardSource == slot && backwardSource == slot) {
        step.shared.push_back(MakeRecipe(after, slot, before, slot));
        return;
    }
    step.forward.push_back(MakeRecipe(after, slot, before, forwardSource));
    step.backward.push_back(MakeRecipe(before, slot, after, backwardSource));
}

}  // namespace

static_assert(std::size(txt::StepLabels) == static_cast<std::size_t>(StepKind::ClearEventLog) + 1,
              "one label for each kind of step");

std::string StepLabel(const StepInfo& info, int uiLanguage) {
    const auto index = static_cast<std::size_t>(info.kind);
    const BiText& text = index < std::size(txt::StepLabels) ? txt::StepLabels[index] : txt::StepLabels[0];
    std::string label = Pick(text, uiLanguage);
    std::string name = PrintableText(GbkToUtf8(info.nameGbk));
    if (name.empty()) name = "-";
    const std::size_t at = label.find("%s");
    if (at != std::string::npos) label.replace(at, 2, name);
    return label;
}

ProjectHistory::ProjectHistory()
    : baseline_(std::make_unique<ProjectBlock>()), scratch_(std::make_unique<ProjectBlock>()) {}

ProjectHistory::~ProjectHistory() = default;

void ProjectHistory::Reset(const ProjectBlock& now) {
    *baseline_ = now;
    steps_.clear();
    position_ = 0;
    saved_ = 0;
    sealed_ = true;
    memory_ = 0;
}

bool ProjectHistory::Matches(const ProjectBlock& project) const {
    return std::memcmp(baseline_.get(), &project, sizeof(ProjectBlock)) == 0;
}

void ProjectHistory::Seal() { sealed_ = true; }

const StepInfo* ProjectHistory::NextUndo() const {
    return CanUndo() ? &steps_[position_ - 1]->info : nullptr;
}

const StepInfo* ProjectHistory::NextRedo() const { return CanRedo() ? &steps_[position_]->info : nullptr; }

void ProjectHistory::MarkSaved() {
    saved_ = static_cast<long long>(position_);
    sealed_ = true;  // a step after the save must not reach back over it
}

int ProjectHistory::Record(const ProjectBlock& now, const StepInfo& info, bool perDevice, uint64_t mergeKey) {
    const ProjectBlock* before = baseline_.get();
    std::unique_ptr<ProjectBlock> merged;
    const bool merge = mergeKey != 0 && !sealed_ && !perDevice && position_ > 0 &&
                       position_ == steps_.size() && steps_.back()->mergeKey == mergeKey &&
                       saved_ != static_cast<long long>(position_);
    if (merge) {
        // The state before the latest step, so that step and this change become one.
        merged = std::make_unique<ProjectBlock>(*baseline_);
        Apply(*merged, *steps_.back(), false);
        memory_ -= steps_.back()->bytes;
        steps_.pop_back();
        --position_;
        before = merged.get();
    }

    std::vector<int> changed;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (!SlotsEqual(*before, slot, now, slot)) changed.push_back(slot);

    int added = 0;
    auto finish = [&](Step& step) {
        step.mergeKey = mergeKey;
        step.bytes = StepBytes(step);
        Push(std::move(step));
        ++added;
    };
    if (perDevice) {
        // One step per device; a change of the head goes with the first of them.
        bool head = !changed.empty() && changed.front() == 0;
        for (int slot : changed) {
            if (slot == 0) continue;
            Step step;
            step.info = info;
            step.info.device = slot - 1;
            if (info.device != slot - 1) step.info.page = 0;
            step.info.nameGbk.assign(now.devices[slot - 1].name,
                                     strnlen(now.devices[slot - 1].name, DeviceNameSize));
            if (head) AddSlot(step, *before, now, 0, false);
            head = false;
            AddSlot(step, *before, now, slot, false);
            finish(step);
        }
        if (head) {
            Step step;
            step.info = info;
            AddSlot(step, *before, now, 0, false);
            finish(step);
        }
    } else if (!changed.empty()) {
        Step step;
        step.info = info;
        // The device to show is the hinted one when the step touched it, else the first touched.
        bool hinted = false;
        int first = -1;
        for (int slot : changed) {
            if (slot > 0 && first < 0) first = slot - 1;
            if (slot > 0 && slot - 1 == info.device) hinted = true;
        }
        if (!hinted) {
            step.info.device = first;
            step.info.page = 0;
        }
        if (step.info.nameGbk.empty()) {
            // The name the device had (a deleted one), or has (a new one).
            if (step.info.device >= 0) {
                const ProjectBlock& named = step.info.device < before->DeviceCountClamped() ? *before : now;
                const char* name = named.devices[step.info.device].name;
                step.info.nameGbk.assign(name, strnlen(name, DeviceNameSize));
            } else {
                step.info.nameGbk.assign(now.projectName, strnlen(now.projectName, ProjectNameSize));
            }
        }
        for (int slot : changed) AddSlot(step, *before, now, slot, true);
        finish(step);
    }
    *baseline_ = now;
    sealed_ = added == 0;
    DropOldest();
    return added;
}

void ProjectHistory::Push(Step step) {
    while (steps_.size() > position_) {
        memory_ -= steps_.back()->bytes;
        steps_.pop_back();
    }
    if (saved_ > static_cast<long long>(position_)) saved_ = -1;  // the saved state was undone away
    memory_ += step.bytes;
    steps_.push_back(std::make_unique<Step>(std::move(step)));
    ++position_;
}

void ProjectHistory::DropOldest() {
    while (steps_.size() > MinSteps && memory_ > budget_) {
        memory_ -= steps_.front()->bytes;
        steps_.pop_front();
        --position_;
        saved_ = saved_ > 0 ? saved_ - 1 : -1;
    }
}

void ProjectHistory::Apply(ProjectBlock& project, const Step& step, bool forward) {
    // Recipes read the state as it was before this step was applied.
    *scratch_ = project;
    auto run = [&](const Recipe& r) {
        uint8_t* target = SlotBytes(project, r.slot);
        if (r.source != r.slot) std::memcpy(target, SlotBytes(*scratch_, r.source), SlotSize(r.slot));
        std::size_t k = 0;
        for (const Span& s : r.spans)
            for (uint32_t i = 0; i < s.length; ++i) target[s.offset + i] ^= r.bytes[k++];
    };
    for (const Recipe& r : step.shared) run(r);
    for (const Recipe& r : forward ? step.forward : step.backward) run(r);
}

std::optional<StepInfo> ProjectHistory::Undo(ProjectBlock& project) {
    if (!CanUndo()) return std::nullopt;
    const Step& step = *steps_[position_ - 1];
    Apply(project, step, false);
    --position_;
    *baseline_ = project;
    sealed_ = true;
    return step.info;
}

std::optional<StepInfo> ProjectHistory::Redo(ProjectBlock& project) {
    if (!CanRedo()) return std::nullopt;
    const Step& step = *steps_[position_];
    Apply(project, step, true);
    ++position_;
    *baseline_ = project;
    sealed_ = true;
    return step.info;
}

}  // namespace corvix
