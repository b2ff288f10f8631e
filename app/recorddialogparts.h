#pragma once

#include <cstdint>

#include "model.h"
#include "segment.h"

class QDialog;
class QDialogButtonBox;
class QGridLayout;
class QLabel;

// What the two record dialogs share: the rows telling which segment they work
// on, and their "OK" and "Cancel" buttons.
struct SegmentFacts {
    QLabel* name = nullptr;
    QLabel* recordCount = nullptr;
    QLabel* length = nullptr;

    // Rows 0 to 2 of grid: "SegMent Name:", "Record Count:", "SegMent Length:".
    static SegmentFacts addTo(QGridLayout* grid, bool tealName);
    void show(const vm::Segment& segment, const vm::RecordExtent& counted) const;
};

// "OK" (the default button) accepts the dialog, "Cancel" rejects it.
QDialogButtonBox* okCancelButtons(QDialog* dialog);
