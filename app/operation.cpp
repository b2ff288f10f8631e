#include "operation.h"

#include "cp1252.h"
#include "model.h"

std::shared_ptr<const vm::Segment> segmentCopy(const vm::Segment& segment) {
    return std::shared_ptr<const vm::Segment>(vm::cloneSegment(segment));
}

std::shared_ptr<const StructureState> StructureState::of(const vm::SegmentList& list,
                                                         const vm::ViewSettings& view,
                                                         const vm::DataHintFlags& dataHint) {
    auto s = std::make_shared<StructureState>();
    s->segments.reserve(list.size());
    for (const auto& seg : list)
        s->segments.push_back(segmentCopy(*seg));
    s->current = list.indexOf(list.current());
    s->view = view;
    s->dataHint = dataHint;
    return s;
}

bool Operation::changesData() const {
    if (const auto* r = std::get_if<change::Rewrite>(&change))
        return r->workingFileBefore != r->workingFileAfter;
    return std::holds_alternative<change::Bytes>(change);
}

bool Operation::changesStructure() const {
    return !std::holds_alternative<change::Bytes>(change) &&
           !std::holds_alternative<change::LoadType>(change);
}

QString segmentTitle(const vm::Segment& segment) {
    return QString::fromStdString(vm::cp1252ToUtf8(segment.name));
}

QString fieldsTitle(const vm::Segment& segment, const std::vector<std::size_t>& entries) {
    if (entries.size() == 1 && entries[0] < segment.entries.size())
        return QString::fromStdString(vm::cp1252ToUtf8(segment.entries[entries[0]].memo));
    return QString::number(entries.size()) + QStringLiteral(" Fields");
}
