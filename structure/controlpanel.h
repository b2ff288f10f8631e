#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QWidget>

#include "fieldlisthooks.h"
#include "panelhooks.h"
#include "segmentedits.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QToolButton;
class QTreeWidgetItem;
class QVBoxLayout;
class Document;
class IndicatorLabel;
class PositionBar;
class RecordPane;
class RowListView;
class TeditStructHint;
class UpDownButtons;

// The control panel "Main Control", docked in the main window's left dock
// site: the segment list and its actions, the position bars with their
// indicator labels, the editors of the current segment's numbers, and the
// place of the field list. It follows the document's signals; its actions and
// editors change the model through the document's operations.
//
// Rows of the segment list and segments of the document's list stand in the
// same order; each row carries its segment.
class Tctrls : public QWidget, public PanelHooks {
    Q_OBJECT
public:
    // The pane tells which grids are shown and their font; the structure
    // message window lists the findings behind a lit label; dialogs are
    // centred on dialogParent.
    Tctrls(Document& doc, RecordPane& pane, TeditStructHint& hint, QWidget* dialogParent);
    ~Tctrls() override;

    // --- PanelHooks ---
    QWidget* controlPanel() override { return this; }
    QList<QAction*> editMenuActions() override;
    void showFieldMenu(int entry, const QPoint& globalPos) override;
    void applyPanelSettings(bool showSegList, bool showTypeCtrl) override;
    void readPanelSettings(bool& showSegList, bool& showTypeCtrl) const override;

    // --- for the field list ---
    // The field list plugs in here (nullptr: none); the panel owns it.
    void setFieldList(std::unique_ptr<FieldListHooks> fields);
    FieldListHooks& fieldList() const { return *m_fields; }
    Document& document() const { return m_doc; }
    RecordPane& pane() const { return m_pane; }
    QWidget* dialogParent() const { return m_dialogParent; }
    // Every action (and the field list's) disabled, then enabled by the
    // rules for the mode and the selection; the editors likewise.
    void refreshActions();
    // The field bar; with withSegmentCheck the segment map too.
    void redrawPositionBars(bool withSegmentCheck);
    // The segment Copy Segment refers to (not a copy), or nullptr.
    vm::Segment* segmentClipboard() const { return m_clipboard; }

    // Drag-and-drop of segment rows: taken only from the list itself in reset
    // mode; a drop moves the selected segments before row target.
    bool acceptsSegmentDrag(const QObject* source) const;
    void LvPartDragDrop(int target);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void createActions();
    void connectDocument();
    QWidget* makeStrip();
    // A position bar under its indicator labels.
    PositionBar* addBar(QVBoxLayout* into, bool typeMap, std::vector<IndicatorLabel*>& labels);
    QGroupBox* makeSegmentInfo();
    QGroupBox* makeTypeList();
    void applyPanelLayout();

    // What the document announced.
    void structureReplaced();
    void documentReplaced();
    void segmentChanged(vm::Segment* segment);
    void segmentInserted(vm::Segment* segment);
    void segmentAboutToBeRemoved(vm::Segment* segment);
    void layoutReplaced();
    // The current segment (or none) on every part of the panel: its row
    // selected, its numbers, its fields, the bars and the actions.
    void showCurrent();

    // Rows.
    vm::Segment* segmentAt(int row) const;
    int selectedRow() const;
    int findSegmentRow(const vm::Segment* segment) const;
    void selectCurrentRow();
    void insertRow(int row, vm::Segment* segment);
    void fillRow(QTreeWidgetItem* item, int row);
    void refreshSegmentRow(const vm::Segment* segment);
    void refreshSegmentRows();
    void rebuildRows();

    // Handlers.
    void LvPartSelectItem();
    void A_partDelExecute();
    void A_partCopyExecute();
    void A_partCutExecute();
    void A_partPastExecute();
    void segNameChange(const QString& text);
    // An editing burst ends: the user left the editor, or the segment changed
    // by other means.
    void endEditingBurst();
    // A segment editor's text changed: edit applies it to the current
    // segment; the other editors then show what followed.
    // what names the editor ("Begin"): the step is "Change Begin of <segment>".
    void editSegment(const QString& what, const std::function<void(vm::Segment&)>& edit);
    void segBeginChange();
    void recLengthChange();
    void segLengthChange();
    void recCountChange();
    void isHClick(bool checked);
    void cToFileEndClick(bool checked);
    void upDownClick(vm::SegmentNumber which, QLineEdit* editor, int step);
    void LIsOver1Click();
    // Fills the editors from the current segment, with the guard set; empties
    // them without one.
    void fillSegmentEditors();
    // The segment list's row numbers get the width their digits need.
    void fitRowNumberColumn();
    // The list group's height that shows rows rows of the list.
    int listHeightForRows(int rows) const;
    void refreshSegmentEditors();
    void showNumber(QLineEdit* editor, std::int64_t value);
    void drawSegmentBarOnly();
    void setIndicatorsEnabled(bool on);
    void reportFailure(const QString& error);

    bool resetMode() const;
    bool editMode() const;
    std::int64_t fileSize() const;

    Document& m_doc;
    RecordPane& m_pane;
    TeditStructHint& m_hint;
    QWidget* m_dialogParent;
    std::unique_ptr<FieldListHooks> m_fields;
    // Parts the field list's actions in the Edit menu; goes with the field list.
    QAction* m_fieldSeparator = nullptr;

    QSplitter* m_splitter = nullptr;
    QGroupBox* m_listGroup = nullptr; // lvPartGB
    RowListView* m_list = nullptr;
    QMenu* m_partMenu = nullptr;
    PositionBar* m_segmentBar = nullptr;
    PositionBar* m_typeBar = nullptr;
    std::vector<IndicatorLabel*> m_segmentLabels;
    std::vector<IndicatorLabel*> m_typeLabels;
    QToolButton* m_infoToggle = nullptr; // typeCtrlSB
    QToolButton* m_listToggle = nullptr; // lvPartSB
    QLineEdit* m_fileSize = nullptr;
    QGroupBox* m_infoGroup = nullptr; // typeCtrlGB
    QGroupBox* m_typeGroup = nullptr; // "Segment Type List"
    QLineEdit* m_name = nullptr;
    QCheckBox* m_anomaly = nullptr;
    QCheckBox* m_toFilesEnd = nullptr;
    QLineEdit* m_begin = nullptr;
    QLineEdit* m_recLength = nullptr;
    QLineEdit* m_length = nullptr;
    QLineEdit* m_recCount = nullptr;
    // Each numeric editor with its label and its two up-downs, enabled together.
    struct EditorGroup {
        QLineEdit* edit = nullptr;
        QLabel* label = nullptr;
        UpDownButtons* step1 = nullptr;
        UpDownButtons* step10 = nullptr;
        void setEnabled(bool on) const;
    };
    EditorGroup m_beginGroup, m_recLengthGroup, m_lengthGroup, m_recCountGroup;
    EditorGroup numberEditor(const char* name, const char* caption, const char* upDown1,
                             const char* upDown10, vm::SegmentNumber which);
    QLabel* m_nameLabel = nullptr;

    QAction* m_new = nullptr;
    QAction* m_insert = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_cut = nullptr;
    QAction* m_paste = nullptr;
    QAction* m_describe = nullptr;
    QAction* m_describeSeparator = nullptr;

    vm::Segment* m_clipboard = nullptr;
    bool m_filling = false;    // the panel writes its own editors
    bool m_editing = false;    // an editor's text is being applied
    bool m_rebuilding = false; // rows are being replaced: selection events mean nothing
    // The length the current segment had when the user began typing a begin:
    // every keystroke of the burst cuts from it (none between bursts).
    std::optional<std::int32_t> m_lengthBeforeBurst;
    bool m_showSegList = true;
    bool m_showTypeCtrl = true;
    int m_rememberedListHeight = 80;
    bool m_shownOnce = false;
};
