#include "undohistory.h"

#include <algorithm>
#include <utility>

KeptCopy::KeptCopy(std::string tempDir, vm::SupersededCopy copy)
    : m_tempDir(std::move(tempDir)), m_copy(std::move(copy)),
      m_size(std::max<std::int64_t>(m_copy.stream.size(), 0)) {}

KeptCopy::~KeptCopy() {
    vm::removeHeldCopy(m_tempDir, m_copy);
}

void KeptCopy::swapWith(vm::WorkingFile& work) {
    std::swap(m_copy.name, work.name);
    std::swap(m_copy.stream, work.stream);
    m_size = std::max<std::int64_t>(m_copy.stream.size(), 0);
}

void UndoHistory::clear(bool dataChanged, bool typeChanged) {
    m_steps.clear();
    m_pos = 0;
    m_baseId = m_nextId++;
    m_baseData = 0;
    m_baseType = 0;
    m_dataSave = {!dataChanged, m_baseId, 0};
    m_typeSave = {!typeChanged, m_baseId, 0};
}

void UndoHistory::dropRedoSteps() {
    // A save point among them can never be reached again.
    for (SavePoint* save : {&m_dataSave, &m_typeSave})
        if (save->valid && save->id > currentId())
            save->valid = false;
    m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(m_pos), m_steps.end());
}

UndoHistory::Step& UndoHistory::push(Operation&& op, std::unique_ptr<KeptCopy> kept) {
    dropRedoSteps();
    endBurst();
    Step step;
    step.id = m_nextId++;
    step.dataSerial = currentData() + (op.changesData() ? 1 : 0);
    // A loaded type file counts as a change of the structure, although its
    // own save point is the file it came from.
    step.typeSerial = currentType() + (op.changesStructure() ||
                                       std::holds_alternative<change::LoadType>(op.change));
    // Runs of edits of one kind carry one name: stored once, shared.
    if (!m_steps.empty() && m_steps.back().op.label == op.label)
        op.label = m_steps.back().op.label;
    step.op = std::move(op);
    step.kept = std::move(kept);
    m_steps.push_back(std::move(step));
    m_pos = m_steps.size();
    return m_steps.back();
}

UndoHistory::Step* UndoHistory::openBurst(const QString& burst) {
    if (burst.isEmpty() || m_pos == 0 || m_pos != m_steps.size())
        return nullptr;
    Step& last = m_steps.back();
    return last.burst == burst ? &last : nullptr;
}

void UndoHistory::endBurst() {
    if (!m_steps.empty())
        m_steps.back().burst.clear();
}

void UndoHistory::dropLast() {
    if (m_pos == 0 || m_pos != m_steps.size())
        return;
    // Back to the state before it, which may be a saved one.
    for (SavePoint* save : {&m_dataSave, &m_typeSave})
        if (save->valid && save->id == m_steps.back().id)
            save->valid = false;
    m_steps.pop_back();
    --m_pos;
}

std::int64_t UndoHistory::keptBytes() const {
    std::int64_t total = 0;
    for (const Step& s : m_steps)
        if (s.kept)
            total += s.kept->size();
    return total;
}

std::size_t UndoHistory::trimTo(std::int64_t budget) {
    std::size_t dropped = 0;
    std::int64_t kept = keptBytes();
    while (kept > budget) {
        // The oldest done step holding a copy goes, with every step before it
        // (they can only be reached through it).
        std::size_t upTo = 0;
        while (upTo < m_pos && !m_steps[upTo].kept)
            ++upTo;
        if (upTo < m_pos) {
            const Step& last = m_steps[upTo];
            kept -= last.kept->size();
            m_baseId = last.id;
            m_baseData = last.dataSerial;
            m_baseType = last.typeSerial;
            m_steps.erase(m_steps.begin(), m_steps.begin() + static_cast<std::ptrdiff_t>(upTo + 1));
            m_pos -= upTo + 1;
            dropped += upTo + 1;
            continue;
        }
        // Only undone steps hold copies: the furthest one goes, and every
        // step after it.
        std::size_t from = m_steps.size();
        while (from > m_pos && !m_steps[from - 1].kept)
            --from;
        if (from == m_pos)
            break;
        for (std::size_t i = from - 1; i < m_steps.size(); ++i)
            if (m_steps[i].kept)
                kept -= m_steps[i].kept->size();
        for (SavePoint* save : {&m_dataSave, &m_typeSave})
            if (save->valid && save->id >= m_steps[from - 1].id)
                save->valid = false;
        dropped += m_steps.size() - (from - 1);
        m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(from - 1), m_steps.end());
    }
    return dropped;
}
