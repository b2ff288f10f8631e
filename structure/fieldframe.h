#pragma once

#include <functional>
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
// The host (the control panel's field list) binds it to its list, tells it
// the current segment and the permission that is on, and applies its edits.
class TtypeFrame : public QWidget {
    Q_OBJECT
public:
    explicit TtypeFrame(QWidget* parent = nullptr);

    // An edit of the selected entries; true when it changed any.
    using Change = std::function<bool(vm::Segment&)>;
    // Which of the frame's editors made a change.
    enum class Part { Kind, Start, Length, Memo };
    // Applies a change to the segment (with fitColumns each changed field's
    // column fits its kind and length again); true when it changed it.
    using Apply = std::function<bool(const Change& change, const std::vector<int>& rows,
                                     bool fitColumns, Part part)>;

    // Row i of the list stands for entry i of the segment.
    void bindFrame(QAbstractItemView* listView, bool editable);
    // How the edits reach the segment; without it they change it directly.
    void setApply(Apply apply) { m_apply = std::move(apply); }
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
    // The entries of these rows changed; with fitColumns their kind or length.
    void fieldsChanged(const QList<int>& rows, bool fitColumns);
    // Typing in one of the frame's editors ended (Enter, or its focus left).
    void editingEnded();

private:
    // Applies change to the selected entries; announces them when it changed any.
    void changeSelection(const std::function<bool(vm::Segment&, const std::vector<int>&)>& change,
                         bool fitColumns, Part part);
    void showLength(int kind);

    QComboBox* m_kind = nullptr;
    QLineEdit* m_start = nullptr;
    UpDownButtons* m_startUpDown = nullptr;
    QLineEdit* m_length = nullptr;
    QLineEdit* m_memo = nullptr;

    QAbstractItemView* m_list = nullptr;
    Apply m_apply;
    vm::Segment* m_segment = nullptr;
    vm::StructMode m_mode = vm::StructMode::ReadOnly;
    bool m_editable = false;
    bool m_filling = false; // set while the frame writes its own controls
};
