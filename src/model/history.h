// SPDX-License-Identifier: Apache-2.0
// The project's change history: undo and redo over the project block. It keeps a copy of the
// block as it was after the last recorded step (the baseline); recording compares the block
// with it and keeps, per slot (the block's head and each device record), only the bytes that
// differ, as an exclusive-or against the slot it came from. A device list command that moves
// whole records (delete, paste before) refers to the neighbouring slot instead of copying it.
// Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/record.h"

namespace corvix {

// What a step was, for its menu label.
enum class StepKind : uint8_t {
    Change,  // any change without a more telling name (for example taking compared values)
    EditValue,
    ChooseValue,
    AddSignal,
    DeleteSignals,
    CutSignals,
    PasteSignals,
    ImportSignalNames,
    AddDevice,
    DeleteDevice,
    CutDevice,
    PasteDevice,
    RenameDevice,
    RenameProject,
    ServiceInfo,
    ReadConfiguration,
    ReadEventLog,
    ClearEventLog,  // new events from the device empty the stored list
};

struct StepInfo {
    StepKind kind = StepKind::Change;
    int device = -1;      // the device to show afterwards (0-based), -1 for none
    int32_t page = 0;     // the tree node to show under it (a page code), 0 for the device itself
    std::string nameGbk;  // the device's (or the project's) name when the step was taken
};

// "Edit Value of Bay 3": what the step was, in the interface language (UTF-8).
std::string StepLabel(const StepInfo& info, int uiLanguage);

class ProjectHistory {
  public:
    // Steps kept whatever their size, and the memory above which older steps are dropped.
    static constexpr std::size_t MinSteps = 200;
    static constexpr std::size_t DefaultBudget = 32u << 20;

    ProjectHistory();
    ~ProjectHistory();
    ProjectHistory(const ProjectHistory&) = delete;
    ProjectHistory& operator=(const ProjectHistory&) = delete;

    // Forgets every step; `now` is the baseline and the saved state.
    void Reset(const ProjectBlock& now);
    // Records what differs between the baseline and `now` as one step, or with `perDevice` as
    // one step per device record touched. A step whose `mergeKey` (non-zero) equals that of
    // the latest step, with nothing undone, saved or sealed since, is folded into it (the
    // keystrokes of one cell edit). Returns the number of steps added (0: nothing changed).
    int Record(const ProjectBlock& now, const StepInfo& info, bool perDevice = false, uint64_t mergeKey = 0);
    // The next record starts a step of its own even with the same merge key.
    void Seal();
    // `project` must equal the baseline (record first). Writes the step's bytes back and
    // returns what the step was; nullopt when there is nothing to undo or redo.
    std::optional<StepInfo> Undo(ProjectBlock& project);
    std::optional<StepInfo> Redo(ProjectBlock& project);
    bool Matches(const ProjectBlock& project) const;  // project equals the baseline

    bool CanUndo() const { return position_ > 0; }
    bool CanRedo() const { return position_ < steps_.size(); }
    const StepInfo* NextUndo() const;
    const StepInfo* NextRedo() const;

    void MarkSaved();
    bool AtSaved() const { return saved_ == static_cast<long long>(position_); }

    std::size_t StepCount() const { return steps_.size(); }
    std::size_t Position() const { return position_; }
    std::size_t MemoryBytes() const { return memory_; }
    void SetBudget(std::size_t bytes) { budget_ = bytes; }

    struct Step;

  private:
    void DropOldest();
    void Apply(ProjectBlock& project, const Step& step, bool forward);
    void Push(Step step);

    std::unique_ptr<ProjectBlock> baseline_;
    std::unique_ptr<ProjectBlock> scratch_;  // the state a recipe reads from while applying
    std::deque<std::unique_ptr<Step>> steps_;
    std::size_t position_ = 0;  // steps_[0, position_) are done
    long long saved_ = 0;       // position of the saved state; -1 when no step leads back to it
    bool sealed_ = true;
    std::size_t memory_ = 0;
    std::size_t budget_ = DefaultBudget;
};

}  // namespace corvix
