#pragma once

#include <cstdint>

#include <QDialog>

#include "recorddialogparts.h"
#include "recordedits.h"
#include "model.h"
#include "segment.h"

class QLineEdit;

// "DelRecord": the first and last record to delete from a record segment.
// Made once; the indexes it offers come from the record menu.
class TdelRecord : public QDialog {
    Q_OBJECT
public:
    explicit TdelRecord(QWidget* parent = nullptr);

    // The record under the mouse when the record menu opened.
    void setDefaultIndex(std::int64_t index) { m_defaultIndex = index; }
    // Fills the dialog from the segment as counted against the data file.
    void prepare(const vm::Segment& segment, const vm::RecordExtent& counted);
    const vm::DeleteRecordsRequest& request() const { return m_request; }

    QLineEdit* firstBox() const { return m_first; }
    QLineEdit* lastBox() const { return m_last; }

    void accept() override;

private:
    SegmentFacts m_facts;
    QLineEdit* m_first = nullptr;
    QLineEdit* m_last = nullptr;
    std::int64_t m_defaultIndex = 0;
    std::int64_t m_limit = 0; // one past the last record index
    vm::DeleteRecordsRequest m_request;
};
