#pragma once

#include <cstdint>
#include <optional>

#include <QDialog>

#include "toolhooks.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class Document;
class RecordPane;

namespace vm {
struct Segment;
}

// The goto dialog: moves the grid to a decimal or hexadecimal offset or to a
// record index of the current segment (a field index in an Anomaly
// segment). The three boxes follow each other and every change moves at
// once; "Utterly" counts offsets from the file's start, else from the
// segment's.
class TgotoOffsetf : public QDialog {
    Q_OBJECT
public:
    TgotoOffsetf(const Document& doc, RecordPane& pane, Locate locate, QWidget* parent);

    // Fills the boxes from the grid's top visible row and shows the dialog.
    void prepareAndShow();

    static constexpr const char* kHelpTopic = "Goto OffSet.htm";
    static constexpr const char* kOutOfRange = " Error Out Of Range";

private:
    void EnumChange(bool fromHex);
    void EindexChange();
    void utterlyClick();
    // The current segment's start when "Utterly" is checked, else 0.
    std::int64_t base(const vm::Segment& seg) const;
    void setOffsetTexts(std::int64_t offset);
    const vm::Segment* current() const;

    const Document& m_doc;
    RecordPane& m_pane;
    Locate m_locate;
    QLineEdit* m_num = nullptr;
    QLineEdit* m_hex = nullptr;
    QLineEdit* m_index = nullptr;
    QCheckBox* m_utterly = nullptr;
    QCheckBox* m_immediately = nullptr;
    QPushButton* m_go = nullptr;
    QPushButton* m_close = nullptr;
    // Set while one box's handler writes the others.
    bool m_busy = false;
};
