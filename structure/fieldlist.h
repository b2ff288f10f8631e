#pragma once

#include <vector>

#include <QList>
#include <QString>

#include "document.h"
#include "fieldedits.h"
#include "fieldlisthooks.h"

class QAction;
class QMenu;
class QObject;
class QTreeWidgetItem;
class Document;
class RowListView;
class TAddAType;
class Tctrls;
class TtypeFrame;
class Ttransto;

// The lower half of the control panel: the field list `LV` of the current
// segment with the field frame `tfLv` above it, the field actions and the
// field clipboard. In reset mode the actions change the description only; in
// edit mode adding, inserting, deleting, pasting and converting rewrite the
// data file, and the segments behind the current one move. Every change goes
// through the document; the rows follow what it announces.
//
// Row i carries entry i of the current segment: a drop reorders the entries
// at once, so rows and entries never stand in different orders.
class FieldList : public FieldListHooks {
public:
    explicit FieldList(Tctrls& panel);
    ~FieldList() override;

    // --- FieldListHooks ---
    QWidget* widget() override;
    QList<QAction*> actions() override;
    void refreshActions(const ActionState& state) override;
    void showSegment(vm::Segment* segment, bool dropClipboard) override;
    std::vector<std::size_t> selectedEntries() const override;
    void showFieldMenu(int entry, const QPoint& globalPos) override;

    const vm::FieldClipboard& clipboard() const { return m_clipboard; }

    // Drag-and-drop of field rows: taken only from the list itself in reset
    // mode; a drop moves the selected fields before row target (-1: to the end).
    bool acceptsFieldDrag(const QObject* source) const;
    void LVDragDrop(int target);

private:
    void createActions();
    void buildWidget();

    // Handlers.
    void A_addItemExecute();
    void A_insertExecute();
    void A_delExecute();
    void A_copyExecute();
    void A_cutExecute();
    void A_pasteExecute();
    void A_selAllExecute();
    void A_transExecute();
    bool LVKeyDown(int key);
    void LVSelectItem();
    // The document changed the fields of a segment.
    void fieldsChanged(vm::Segment* segment);

    // Add a Type (add) and Insert Type: in reset mode a copy of the selected
    // entry; in edit mode the Add-a-type dialog, then the new field's bytes in
    // every record.
    void addOrInsert(bool add);
    // Runs a field action through the document; in edit mode with a
    // progress window that can stop it. A failure is reported.
    // label titles the progress window; the step to undo is named by
    // stepLabel, or by label and the segment's name.
    bool run(vm::Segment& segment, const QString& label, const Document::FieldAction& edit,
             const QString& stepLabel = QString());
    void rebuildRows();
    void fillRow(QTreeWidgetItem* item, int row);
    void refreshFieldRows();

    vm::Segment* current() const;
    vm::StructMode mode() const;
    Document& document() const;
    int fontHeight() const;
    std::vector<int> selectedRows() const;
    int firstSelectedRow() const;

    Tctrls& m_panel;
    QWidget* m_widget = nullptr;
    TtypeFrame* m_frame = nullptr;
    RowListView* m_list = nullptr;
    QMenu* m_menu = nullptr;
    TAddAType* m_addDialog = nullptr;
    Ttransto* m_transform = nullptr;

    QAction* m_add = nullptr;
    QAction* m_insert = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_cut = nullptr;
    QAction* m_paste = nullptr;
    QAction* m_selectAll = nullptr;
    QAction* m_convert = nullptr;
    QAction* m_importC = nullptr;
    QAction* m_importSeparator = nullptr;

    // The segment the rows show; the document's current one once shown.
    vm::Segment* m_segment = nullptr;
    vm::FieldClipboard m_clipboard;
    // The permission the clipboard last saw.
    vm::StructMode m_mode = vm::StructMode::ReadOnly;
    // A paste keeps the clipboard, to paste it again elsewhere.
    bool m_pasting = false;
    // The frame's own change: its controls show what the user typed.
    bool m_framing = false;
};
