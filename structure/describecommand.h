#pragma once

class Document;
class QWidget;

// Describe From Data (reset mode): the bytes of the current segment, or of
// the whole file when there is none, are described by the engine, the
// proposal is shown for the user to check or to pick another record length,
// and OK puts it in place of the segment as one document operation: a header
// before the first record and a trailer after the last become Anomaly
// segments of their own.
void describeFromData(Document& doc, QWidget* parent);
