#include "operation.h"

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
    return std::holds_alternative<change::Bytes>(change) ||
           std::holds_alternative<change::Rewrite>(change);
}

bool Operation::changesStructure() const {
    return !std::holds_alternative<change::Bytes>(change) &&
           !std::holds_alternative<change::LoadType>(change);
}
