#include "fieldedits.h"

#include <algorithm>
#include <limits>

#include "codec.h"
#include "kinds.h"

namespace vm {

namespace {

constexpr std::int64_t kMaxStart = std::numeric_limits<std::uint16_t>::max();
constexpr std::int64_t kMinTypeLength = 1;
constexpr std::int64_t kMaxTypeLength = 254;

FieldEdit failed(std::string error) {
    FieldEdit e;
    e.ok = false;
    e.error = std::move(error);
    return e;
}

FieldEdit fromRewrite(const FileResult& r) {
    if (!r.ok)
        return failed(r.error);
    FieldEdit e;
    e.changed = true;
    e.bytesMoved = true;
    e.delta = r.delta;
    return e;
}

FieldEdit descriptionChanged() {
    FieldEdit e;
    e.changed = true;
    return e;
}

// The length rule of both dialogs; a fixed kind takes only its own size.
std::optional<std::string> lengthProblem(int kind, std::int64_t length) {
    const KindInfo* k = kindInfo(kind);
    if (!k)
        return "Unknown kind " + std::to_string(kind);
    if (length < kMinTypeLength || length > kMaxTypeLength)
        return std::string(kTypeLengthText);
    if (!k->variableLength && length != k->defaultLength)
        return "A " + std::string(k->name) + " field is " + std::to_string(k->defaultLength) +
               " bytes long";
    return std::nullopt;
}

std::int64_t integerOr(std::string_view text, std::int64_t fallback) {
    const auto v = parseInteger(text);
    return v ? *v : fallback;
}

} // namespace

StructMode structMode(const ViewSettings& settings) {
    if (settings.canEditStructure())
        return StructMode::Edit;
    if (settings.canResetStructure())
        return StructMode::Reset;
    return StructMode::ReadOnly;
}

std::string insertPositionText(int lastIndex) {
    return "Insert Position mast betueen 0 To " + std::to_string(lastIndex);
}

std::optional<std::string> fieldIndexProblem(const Segment& seg, std::int64_t index) {
    if (index >= 0 && static_cast<std::uint64_t>(index) < seg.entries.size())
        return std::nullopt;
    return "No field " + std::to_string(index) + ": the segment has " +
           std::to_string(seg.entries.size()) + " fields";
}

std::vector<std::size_t> selectedEntries(const Segment& seg, const std::vector<int>& rows) {
    std::vector<std::size_t> out;
    for (int r : rows)
        if (r >= 0 && static_cast<std::size_t>(r) < seg.entries.size())
            out.push_back(static_cast<std::size_t>(r));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

void FieldClipboard::copy(const Segment& seg, const std::vector<int>& rows) {
    m_entries.clear();
    for (std::size_t i : selectedEntries(seg, rows))
        m_entries.push_back(seg.entries[i]);
}

void FieldClipboard::segmentShown(bool dropFieldClipboard, StructMode mode) {
    if (dropFieldClipboard && mode == StructMode::Edit)
        clear();
}

void FieldClipboard::modeChanged(StructMode before, StructMode after) {
    if (after == StructMode::Edit && before != StructMode::Edit)
        clear();
}

// ---- Add a Type and Insert Type ------------------------------------------------

std::size_t addTypeDescription(Segment& seg, int selectedRow, int fontHeight) {
    TypeEntry e = newTypeEntryFrom(&seg, selectedRow, true, fontHeight);
    if (!seg.entries.empty())
        e.start = static_cast<std::uint16_t>(seg.entries.back().end());
    seg.entries.push_back(e);
    return seg.entries.size() - 1;
}

std::size_t insertTypeDescription(Segment& seg, int selectedRow, int fontHeight) {
    const TypeEntry e = newTypeEntryFrom(&seg, selectedRow, true, fontHeight);
    const bool selected =
        selectedRow >= 0 && static_cast<std::size_t>(selectedRow) < seg.entries.size();
    const std::size_t at = selected ? static_cast<std::size_t>(selectedRow) : seg.entries.size();
    seg.entries.insert(seg.entries.begin() + static_cast<std::ptrdiff_t>(at), e);
    return at;
}

TypeEntry proposeAddType(const Segment& seg, const TypeEntry& previous) {
    TypeEntry e = previous;
    e.start = 0;
    if (!seg.entries.empty()) {
        e = seg.entries.back();
        e.start = static_cast<std::uint16_t>(seg.entries.back().end());
    }
    e.setMemo(uniqueMemo(&seg));
    return e;
}

std::optional<InsertProposal> proposeInsertType(const Segment& seg, int selectedRow) {
    if (seg.entries.empty())
        return std::nullopt;
    const bool selected =
        selectedRow >= 0 && static_cast<std::size_t>(selectedRow) < seg.entries.size();
    const int index = selected ? selectedRow : 0;
    return InsertProposal{seg.entries[static_cast<std::size_t>(index)], index};
}

NewFieldResult prepareNewField(const Segment& seg, const NewFieldRequest& req, const Locale& loc,
                               int fontHeight) {
    NewFieldResult out;
    const auto count = seg.entries.size();
    NewField f;
    f.entry = newTypeEntry(req.kind, req.memo, &seg, fontHeight);

    if (req.insertIndex) {
        if (count == 0) {
            out.error = "The segment has no fields to insert before";
            return out;
        }
        const int last = static_cast<int>(count) - 1;
        if (*req.insertIndex < 0 || *req.insertIndex > last) {
            out.error = insertPositionText(last);
            return out;
        }
        const auto i = static_cast<std::size_t>(*req.insertIndex);
        f.entry.start = seg.entries[i].start;
        f.position = i;
    } else {
        const std::int64_t end = count ? seg.entries.back().end() : 0;
        if (end > kMaxStart) {
            out.error = "A field would start past 65535 bytes into the record";
            return out;
        }
        f.entry.start = static_cast<std::uint16_t>(end);
        f.position = count;
    }

    if (auto problem = lengthProblem(req.kind, req.length)) {
        out.error = *problem;
        return out;
    }
    f.entry.length = static_cast<std::uint16_t>(req.length);
    fitEntryColumn(f.entry, fontHeight);

    if (req.convert || req.sourceIndex) {
        if (!req.sourceIndex) {
            out.error = kNoSourceText;
            return out;
        }
        if (auto problem = fieldIndexProblem(seg, *req.sourceIndex)) {
            out.error = *problem;
            return out;
        }
        f.source = static_cast<std::size_t>(*req.sourceIndex);
    } else {
        // encodeValue zeroes at least the kind's own size, so the buffer has slack.
        std::vector<std::uint8_t> buf(std::max<std::size_t>(f.entry.length, 8), 0);
        // The text the kind's zero bytes show as is the default value: it
        // stands for those bytes, not for what encoding that text gives (a
        // zero character shows as a placeholder that would encode as 0x80).
        const bool zeroText = req.fillText == decodeValue(buf, req.kind, f.entry.length, loc);
        if (!zeroText && !encodeValue(req.fillText, req.kind, f.entry.length, buf, loc) &&
            req.fillMustEncode) {
            out.error =
                "'" + req.fillText + "' is not a value of kind " + std::string(kindName(req.kind));
            return out;
        }
        buf.resize(f.entry.length);
        f.fill = std::move(buf);
    }
    out.field = std::move(f);
    return out;
}

FieldEdit addField(WorkingFile& wf, Segment& seg, const NewField& field, const Locale& loc,
                   const Progress& progress) {
    if (field.source)
        if (auto problem = fieldIndexProblem(seg, static_cast<std::int64_t>(*field.source)))
            return failed(*problem);
    // The rewrite puts the entry before the first one starting where it does,
    // which with overlapping fields may be an earlier row than the one asked for.
    const auto first =
        std::find_if(seg.entries.begin(), seg.entries.end(),
                     [&](const TypeEntry& e) { return e.start == field.entry.start; });
    const auto landed = static_cast<std::size_t>(first - seg.entries.begin());
    const TypeEntry source = field.source ? seg.entries[*field.source] : TypeEntry{};
    const FileResult r = insertNewEntry(wf, seg, field.entry, field.fill,
                                        field.source ? &source : nullptr, loc, progress);
    if (!r.ok)
        return failed(r.error);
    // It lands at or before the row asked for; taken out, the row asked for is
    // back at its old index, so the entry goes in there, just before it.
    if (field.position && *field.position != landed) {
        const TypeEntry e = seg.entries[landed];
        seg.entries.erase(seg.entries.begin() + static_cast<std::ptrdiff_t>(landed));
        const std::size_t to = std::min(*field.position, seg.entries.size());
        seg.entries.insert(seg.entries.begin() + static_cast<std::ptrdiff_t>(to), e);
    }
    return fromRewrite(r);
}

// ---- Delete, Copy, Cut, Paste ---------------------------------------------------

FieldEdit deleteFields(StructMode mode, WorkingFile& wf, Segment& seg, const std::vector<int>& rows,
                       const Progress& progress) {
    const std::vector<std::size_t> idx = selectedEntries(seg, rows);
    if (mode == StructMode::ReadOnly)
        return failed("The structure cannot be changed");
    if (idx.empty())
        return {};
    if (mode == StructMode::Edit)
        return fromRewrite(deleteEntryBytes(wf, seg, idx, progress));
    for (auto it = idx.rbegin(); it != idx.rend(); ++it)
        seg.entries.erase(seg.entries.begin() + static_cast<std::ptrdiff_t>(*it));
    return descriptionChanged();
}

FieldEdit pasteFields(StructMode mode, WorkingFile& wf, Segment& seg, const FieldClipboard& clip,
                      int row, const Progress& progress) {
    if (mode == StructMode::ReadOnly)
        return failed("The structure cannot be changed");
    if (clip.empty())
        return {};
    const bool selected = row >= 0 && static_cast<std::size_t>(row) < seg.entries.size();
    const int at = selected ? row : -1;
    if (mode == StructMode::Edit) {
        const std::int64_t offset =
            selected ? std::int64_t{seg.entries[static_cast<std::size_t>(row)].start}
                     : seg.extent();
        return fromRewrite(insertEntryBytes(wf, seg, clip.entries(), offset, at, progress));
    }
    const auto pos = selected ? seg.entries.begin() + row : seg.entries.end();
    seg.entries.insert(pos, clip.entries().begin(), clip.entries().end());
    return descriptionChanged();
}

// ---- Converts Type ---------------------------------------------------------------

bool transformChangesField(const TypeEntry& source, int kind, std::string_view lengthText) {
    return kind != source.kind || integerOr(lengthText, 0) != source.length;
}

TargetResult transformTarget(const TypeEntry& source, int kind, std::string_view lengthText) {
    TargetResult out;
    // The whole value is checked, not its low 16 bits: 65537 is no length of 1.
    const std::int64_t length = integerOr(lengthText, 0);
    if (auto problem = lengthProblem(kind, length)) {
        out.error = *problem;
        return out;
    }
    TypeEntry t = source;
    t.kind = static_cast<std::uint8_t>(kind);
    t.length = static_cast<std::uint16_t>(length);
    out.entry = t;
    return out;
}

FieldEdit convertField(WorkingFile& wf, Segment& seg, std::size_t index, const TypeEntry& target,
                       const Locale& loc, const Progress& progress, int fontHeight) {
    if (auto problem = fieldIndexProblem(seg, static_cast<std::int64_t>(index)))
        return failed(*problem);
    TypeEntry t = target;
    fitEntryColumn(t, fontHeight);
    return fromRewrite(changeEntryKind(wf, seg, index, t, loc, progress));
}

// ---- The field frame ---------------------------------------------------------------

FrameState frameState(const Segment* seg, const std::vector<int>& rows, StructMode mode,
                      bool editable) {
    FrameState s;
    if (!seg)
        return s;
    const std::vector<std::size_t> idx = selectedEntries(*seg, rows);
    if (idx.empty())
        return s;
    s.hasSelection = true;
    const TypeEntry& first = seg->entries[idx.front()];
    s.kind = first.kind;
    s.start = first.start;
    s.length = first.length;
    s.memo = first.memo;
    auto variable = [](int kind) {
        const KindInfo* k = kindInfo(kind);
        return k && k->variableLength;
    };
    s.kindEnabled = s.startEnabled = s.memoEnabled = true;
    s.lengthEnabled = variable(first.kind);
    for (std::size_t n = 1; n < idx.size(); ++n) {
        const TypeEntry& e = seg->entries[idx[n]];
        const TypeEntry& prev = seg->entries[idx[n - 1]];
        if (e.kind != first.kind)
            s.kind.reset();
        if (e.length != first.length)
            s.length.reset();
        if (!variable(e.kind))
            s.lengthEnabled = false;
        if (e.start != prev.end())
            s.start.reset();
        s.memoEnabled = false;
    }
    if (!editable || mode != StructMode::Reset)
        s.kindEnabled = s.startEnabled = s.lengthEnabled = false;
    // Edit mode renames fields; with neither permission nothing may change.
    if (mode == StructMode::Edit && editable)
        s.memoEnabled = true;
    if (mode == StructMode::ReadOnly || !editable)
        s.memoEnabled = false;
    return s;
}

bool frameSetKind(Segment& seg, const std::vector<int>& rows, int kind) {
    const KindInfo* k = kindInfo(kind);
    const std::vector<std::size_t> idx = selectedEntries(seg, rows);
    if (!k || idx.empty())
        return false;
    for (std::size_t i : idx) {
        seg.entries[i].kind = static_cast<std::uint8_t>(kind);
        seg.entries[i].length = static_cast<std::uint16_t>(k->defaultLength);
    }
    return true;
}

bool frameSetStart(Segment& seg, const std::vector<int>& rows, std::string_view text) {
    const std::vector<std::size_t> idx = selectedEntries(seg, rows);
    const auto v = parseInteger(text);
    if (idx.empty() || !v || *v == -1)
        return false;
    // The cascade is worked out first, so that a start that cannot be held
    // leaves every field as it was instead of wrapping round.
    std::vector<std::int64_t> starts;
    std::int64_t at = *v;
    for (std::size_t i : idx) {
        if (at < 0 || at > kMaxStart)
            return false;
        starts.push_back(at);
        at += seg.entries[i].length;
    }
    for (std::size_t n = 0; n < idx.size(); ++n)
        seg.entries[idx[n]].start = static_cast<std::uint16_t>(starts[n]);
    return true;
}

bool frameSetLength(Segment& seg, const std::vector<int>& rows, std::string_view text) {
    const std::vector<std::size_t> idx = selectedEntries(seg, rows);
    const std::int64_t v = integerOr(text, 10);
    if (idx.empty() || v < 1 || v > 255)
        return false;
    for (std::size_t i : idx)
        seg.entries[i].length = static_cast<std::uint16_t>(v);
    return true;
}

bool frameSetMemo(Segment& seg, const std::vector<int>& rows, std::string_view text) {
    const std::vector<std::size_t> idx = selectedEntries(seg, rows);
    for (std::size_t i : idx)
        seg.entries[i].setMemo(text);
    return !idx.empty();
}

std::string stepStartText(std::string_view text, bool up) {
    const std::int64_t v = integerOr(text, 0) + (up ? 1 : -1);
    return std::to_string(std::clamp<std::int64_t>(v, 0, kMaxStart));
}

std::optional<int> stepLengthValue(std::string_view text, bool up) {
    const std::int64_t v = integerOr(text, 0) + (up ? 1 : -1);
    if (v < kMinTypeLength || v > kMaxTypeLength)
        return std::nullopt;
    return static_cast<int>(v);
}

void fitEntryColumn(TypeEntry& entry, int fontHeight) {
    entry.columnWidth = static_cast<std::uint16_t>(
        columnWidthFor(entryDisplayWidth(entry.kind, entry.length), fontHeight));
}

} // namespace vm
