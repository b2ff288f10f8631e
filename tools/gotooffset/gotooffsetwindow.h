#pragma once

#include <cstdint>
#include <optional>

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class Tmain;

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
    explicit TgotoOffsetf(Tmain& main);

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
    // Every move goes through the main window's locatePosition, which wants
    // file offsets: an offset counted from the segment's start is turned into one.
    void moveTo(const vm::Segment& seg, std::int64_t offset);
    void setOffsetTexts(std::int64_t offset);

    Tmain& m_main;
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
