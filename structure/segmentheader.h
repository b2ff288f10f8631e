#pragma once

#include <QWidget>

#include "segment.h"

class QLabel;

// The head of the field dialogs: "SegMent Name:", "Record Count:" and
// "SegMent Length:" with their values in teal.
class SegmentHeader : public QWidget {
    Q_OBJECT
public:
    explicit SegmentHeader(QWidget* parent = nullptr);
    // count: what the dialog shows as the record count.
    void showSegment(const vm::Segment& segment, std::int64_t count);

private:
    QLabel* m_name = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_length = nullptr;
};
