#pragma once

#include "checks.h"

class Document;
class TeditStructHint;

// Fills the window's segment list with the segment checks' findings.
void fillSegmentFindings(Document& doc, TeditStructHint& window);
// The field findings of the segment at an index of the segment list, for a
// summary row; empty when there is no such segment.
vm::MessageList typeFindings(Document& doc, int segmentIndex);
