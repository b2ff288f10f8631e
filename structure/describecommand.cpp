#include "describecommand.h"

#include <algorithm>

#include <QApplication>

#include "describe.h"
#include "describedialog.h"
#include "document.h"
#include "prompter.h"

namespace {

// Describing reads a bounded sample, well under a second however large the
// range; the cursor says the program is busy meanwhile.
vm::DescribeResult describeBusy(const vm::ByteSource& data, std::int64_t begin,
                                std::int64_t length, const vm::DescribeOptions& options) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    vm::DescribeResult r = vm::describeRecords(data, begin, length, options);
    QApplication::restoreOverrideCursor();
    return r;
}

} // namespace

void describeFromData(Document& doc, QWidget* parent) {
    const vm::FileStream* data = doc.dataStream();
    if (!data || !doc.viewSettings().canResetStructure())
        return;
    vm::Segment* segment = doc.segments().current();
    const std::int64_t size = doc.dataSize();
    std::int64_t begin = 0;
    std::int64_t length = size;
    if (segment) {
        begin = segment->begin;
        // A segment running past the end describes what the file holds of it.
        length = segment->toFilesEnd ? size - begin
                                     : std::min<std::int64_t>(segment->length, size - begin);
    }
    if (begin < 0 || length <= 0) {
        prompter().error(parent, segment ? QStringLiteral("The segment holds no bytes of the file "
                                                          "to describe.")
                                         : QStringLiteral("The file is empty: there is nothing "
                                                          "to describe."));
        return;
    }
    const vm::DescribeResult found = describeBusy(*data, begin, length, {});
    if (!found.ok || found.proposals.empty()) {
        prompter().error(parent, QString::fromStdString(found.message));
        return;
    }
    TdescribeData dialog(
        *data, found.proposals,
        [&](int recordLength) -> std::optional<vm::RecordProposal> {
            vm::DescribeOptions options;
            options.proposals = 1;
            options.recordLength = recordLength;
            vm::DescribeResult r = describeBusy(*data, begin, length, options);
            if (!r.ok || r.proposals.empty()) {
                prompter().error(parent, QString::fromStdString(r.message));
                return std::nullopt;
            }
            return std::move(r.proposals.front());
        },
        parent);
    if (prompter().runModal(dialog) != QDialog::Accepted || dialog.chosen().recordLength <= 0)
        return;
    vm::SegmentList parts = vm::proposalSegments(dialog.chosen(), begin, length);
    vm::adoptDescribedSegment(parts, segment);
    doc.replaceSegment(segment, QStringLiteral("Describe From Data"), std::move(parts));
}
