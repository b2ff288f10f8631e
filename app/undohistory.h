#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include <QString>

#include "operation.h"
#include "workingfile.h"

// A working file kept for an undo or a redo: open and locked while it is
// kept, so that no sweep and no later rewrite takes it; deleted when it goes.
class KeptCopy {
public:
    KeptCopy(std::string tempDir, vm::SupersededCopy copy);
    ~KeptCopy();
    KeptCopy(const KeptCopy&) = delete;
    KeptCopy& operator=(const KeptCopy&) = delete;

    const std::string& name() const { return m_copy.name; }
    std::int64_t size() const { return m_size; }
    // Trades places with the document's working file: a switch of files.
    void swapWith(vm::WorkingFile& work);

private:
    std::string m_tempDir;
    vm::SupersededCopy m_copy;
    std::int64_t m_size = 0;
};

// The document's steps, oldest first, and where the document stands among
// them: steps before the position are done (undo goes back through them),
// steps after it were undone (redo). It decides nothing about the model; the
// document applies each step and then moves the position.
//
// It also keeps the points at which the data file and the type file were
// last saved, so that the change marks follow undo and redo: each step
// carries the running count of data and of structure changes along the
// history, and a file is unchanged exactly when that count is the same as at
// its save point.
class UndoHistory {
public:
    // A saved state: which step it followed and the running count there.
    struct SavePoint {
        bool valid = true;
        std::uint64_t id = 0;
        std::int64_t serial = 0;
    };
    // The type file on the other side of a loaded type file's step: its
    // name, its save point and its stamp as last read or written.
    struct TypeFileSide {
        QString file;
        SavePoint save;
        QString stampPath;
        vm::FileStamp stamp;
    };
    struct Step {
        Operation op;
        std::uint64_t id = 0;
        std::int64_t dataSerial = 0;
        std::int64_t typeSerial = 0;
        // A rewrite's working file on the side the document is not on: the
        // previous one while the step is done, the new one once undone.
        std::unique_ptr<KeptCopy> kept;
        // Typing in one editor goes on into this step until the burst ends.
        QString burst;
        // A loaded type file only (kept apart: cell edits are most steps).
        std::unique_ptr<TypeFileSide> otherType;
    };

    UndoHistory() = default;
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Forgets every step (their kept copies are deleted). The state reached
    // is the saved one of each file that is not marked changed.
    void clear(bool dataChanged = false, bool typeChanged = false);
    // Records a step just done; the steps that were undone are gone.
    Step& push(Operation&& op, std::unique_ptr<KeptCopy> kept = nullptr);

    bool canUndo() const { return m_pos > 0; }
    bool canRedo() const { return m_pos < m_steps.size(); }
    // The step an undo or a redo would apply next (valid only when it can).
    Step& undoStep() { return m_steps[m_pos - 1]; }
    Step& redoStep() { return m_steps[m_pos]; }
    const Step& undoStep() const { return m_steps[m_pos - 1]; }
    const Step& redoStep() const { return m_steps[m_pos]; }
    // After the document applied the step.
    void stepBack() { --m_pos; }
    void stepForward() { ++m_pos; }
    // The last step done when typing in the editor named by burst would go
    // on into it; nullptr otherwise.
    Step* openBurst(const QString& burst);
    // Typing ends: the next change is a step of its own.
    void endBurst();
    // Drops the last step done (a burst that came back to where it began).
    void dropLast();
    std::size_t undoableCount() const { return m_pos; }
    std::size_t size() const { return m_steps.size(); }

    // --- save points ---
    // A save ends the burst: what is typed after it is a change of its own.
    void markDataSaved() {
        endBurst();
        m_dataSave = {true, currentId(), currentData()};
    }
    void markTypeSaved() {
        endBurst();
        m_typeSave = {true, currentId(), currentType()};
    }
    // Changed by other means than a step: no step leads back to a saved state.
    void markDataUnsaved() { m_dataSave.valid = false; }
    void markTypeUnsaved() { m_typeSave.valid = false; }
    bool dataChanged() const { return !m_dataSave.valid || m_dataSave.serial != currentData(); }
    bool typeChanged() const { return !m_typeSave.valid || m_typeSave.serial != currentType(); }
    SavePoint& typeSave() { return m_typeSave; }

    // --- kept copies ---
    std::int64_t keptBytes() const;
    // Drops the oldest steps (and, when that is not enough, the furthest
    // undone ones) until the kept copies fit in budget bytes; the number of
    // steps dropped.
    std::size_t trimTo(std::int64_t budget);

private:
    std::uint64_t currentId() const { return m_pos ? m_steps[m_pos - 1].id : m_baseId; }
    std::int64_t currentData() const { return m_pos ? m_steps[m_pos - 1].dataSerial : m_baseData; }
    std::int64_t currentType() const { return m_pos ? m_steps[m_pos - 1].typeSerial : m_baseType; }
    void dropRedoSteps();

    std::deque<Step> m_steps;
    std::size_t m_pos = 0;
    // The state before the oldest step kept.
    std::uint64_t m_baseId = 0;
    std::int64_t m_baseData = 0;
    std::int64_t m_baseType = 0;
    std::uint64_t m_nextId = 1;
    SavePoint m_dataSave;
    SavePoint m_typeSave;
};
