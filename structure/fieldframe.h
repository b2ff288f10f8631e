#pragma once

#include <vector>

#include <QList>
#include <QWidget>

#include "fieldedits.h"

class QAbstractItemView;
class QComboBox;
class QLineEdit;
class UpDownButtons;

// The one-line strip above the field list: kind, start, length and memo of the
// selected fields, changed for all of them at once, in the structure only.
// The host (the control panel) binds it to its field list, tells it the
// current segment and the permission that is on, and answers fieldsChanged.
class TtypeFrame : public QWidget {
    Q_OBJECT
public:
    explicit TtypeFrame(QWidget* parent = nullptr);

    // Row i of the list stands for entry i of the segment.
    void bindFrame(QAbstractItemView* listView, bool editable);
    void setSegment(vm::Segment* segment) { m_segment = segment; }
    void setMode(vm::StructMode mode) { m_mode = mode; }
    // Shows the selection of the bound list; called when rows are selected and
    // when the permissions change.
    void reloadFrame();

    vm::Segment* segment() const { return m_segment; }
    // The bound list's selected rows, ascending.
    std::vector<int> selectedRows() const;

    void cKindChange(int index);
    void EstartChange(const QString& text);
    void ElengthChange(const QString& text);
    void EmemoChange(const QString& text);
    void UDStartClick(int step);

signals:
    // The entries of these rows changed. With fitColumns their kind or length
    // did, so their grid columns are fitted again. The host then rewrites the
    // rows' texts, refreshes the grid and the field bar, and marks the
    // structure modified.
    void fieldsChanged(const QList<int>& rows, bool fitColumns);

private:
    void announce(const std::vector<int>& rows, bool fitColumns);
    // Runs change on the selected entries; announces them when it changed any.
    template <typename Change> void changeSelection(Change change, bool fitColumns);
    void showLength(int kind);

    QComboBox* m_kind = nullptr;
    QLineEdit* m_start = nullptr;
    UpDownButtons* m_startUpDown = nullptr;
    QLineEdit* m_length = nullptr;
    QLineEdit* m_memo = nullptr;

    QAbstractItemView* m_list = nullptr;
    vm::Segment* m_segment = nullptr;
    vm::StructMode m_mode = vm::StructMode::ReadOnly;
    bool m_editable = false;
    bool m_filling = false; // set while the frame writes its own controls
};
