#include "structurechecks.h"

#include "document.h"
#include "editstructhint.h"

void fillSegmentFindings(Document& doc, TeditStructHint& window) {
    vm::MessageList messages;
    vm::checkSegments(doc.segments(), doc.dataSize(), doc.viewSettings().hexPositions(), &messages);
    window.setSegMessages(std::move(messages));
}

vm::MessageList typeFindings(Document& doc, int segmentIndex) {
    vm::MessageList messages;
    if (segmentIndex < 0 || static_cast<std::size_t>(segmentIndex) >= doc.segments().size())
        return messages;
    vm::checkTypeEntries(&doc.segments()[static_cast<std::size_t>(segmentIndex)], doc.dataSize(),
                         doc.viewSettings().hexPositions(), &messages);
    return messages;
}
