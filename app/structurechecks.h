#pragma once

#include <vector>

#include "editstructhint.h"

class Document;

// Fills the window's segment list with the segment checks' findings (the list
// is emptied by the caller).
void fillSegmentFindings(Document& doc, TeditStructHint& window);
// The field findings of one segment, for a summary row.
std::vector<StructHintRow> typeFindings(Document& doc, vm::Segment* segment);
