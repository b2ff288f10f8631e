#pragma once

#include <cstdint>

#include <QDialog>

#include "recorddialogparts.h"
#include "recordedits.h"
#include "model.h"
#include "segment.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

// "AddRecord": where and how many records to insert into a record segment.
// Made once; its boxes keep what they held from one use to the next.
class TAddRecord : public QDialog {
    Q_OBJECT
public:
    explicit TAddRecord(QWidget* parent = nullptr);

    // Set by the record menu: the record under the mouse (negative for none)
    // and whether the records go after the last one.
    void setInsertPosition(std::int64_t position, bool append);
    // Fills the dialog from the segment, as counted against the data file,
    // before it is shown.
    void prepare(const vm::Segment& segment, const vm::RecordExtent& counted);
    // What was accepted.
    const vm::AddRecordsRequest& request() const { return m_request; }

    QLineEdit* positionBox() const { return m_position; }
    QLineEdit* countBox() const { return m_count; }
    QCheckBox* appendBox() const { return m_append; }

    void accept() override;

private:
    SegmentFacts m_facts;
    QLineEdit* m_position = nullptr;
    QCheckBox* m_append = nullptr;
    QLineEdit* m_count = nullptr;
    QRadioButton* m_fillNear = nullptr;
    QRadioButton* m_fillEmpty = nullptr;
    std::int64_t m_insertPosition = 0;
    bool m_appendFlag = false;
    std::int64_t m_records = 0;
    vm::AddRecordsRequest m_request;
};
