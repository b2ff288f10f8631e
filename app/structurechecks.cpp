#include "structurechecks.h"

#include "checks.h"
#include "cp1252.h"
#include "document.h"

namespace {

QString text(const std::string& bytes) {
    return QString::fromStdString(vm::cp1252ToUtf8(bytes));
}

StructHintRow hintRow(const vm::MessageRow& r, vm::SegmentList& list) {
    StructHintRow row;
    row.error = r.image == 0;
    row.first = text(r.firstName);
    row.collide = text(r.secondName);
    row.names = text(r.collide);
    row.message = text(r.message);
    row.expandable = r.finding.expandable;
    if (r.finding.expandable && r.finding.isSegment && r.finding.first >= 0 &&
        r.finding.first < static_cast<int>(list.size()))
        row.segment = &list[static_cast<std::size_t>(r.finding.first)];
    return row;
}

} // namespace

void fillSegmentFindings(Document& doc, TeditStructHint& window) {
    vm::MessageList messages;
    vm::checkSegments(doc.segments(), doc.dataSize(), doc.viewSettings().hexPositions(), &messages);
    for (std::size_t i = 0; i < messages.size(); ++i)
        window.addSegRow(hintRow(messages.row(i), doc.segments()));
}

std::vector<StructHintRow> typeFindings(Document& doc, vm::Segment* segment) {
    std::vector<StructHintRow> out;
    if (!segment || doc.segments().indexOf(segment) < 0)
        return out;
    vm::MessageList messages;
    vm::checkTypeEntries(segment, doc.dataSize(), doc.viewSettings().hexPositions(), &messages);
    out.reserve(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i)
        out.push_back(hintRow(messages.row(i), doc.segments()));
    return out;
}
