#pragma once

#include <cstdint>
#include <memory>

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
class IndicatorLabel;
class PositionBar;
class RowListView;
class Tmain;
class UpDownButtons;

// The control panel "Main Control", docked in the main window's left dock
// site: the segment list and its actions, the position bars with their
// indicator labels, the editors of the current segment's numbers, and the
// place of the field list. It is the main window's PanelHooks.
//
// Rows of the segment list and segments of the document's list stand in the
// same order; each row carries its segment.
class Tctrls : public QWidget, public PanelHooks {
    Q_OBJECT
public:
    explicit Tctrls(Tmain& window);
    ~Tctrls() override;

    // --- PanelHooks ---
    QWidget* controlPanel() override { return this; }
    void structureReplaced() override;
    void refreshSegmentEditors() override;
    void rebuildSegmentList() override;
    void showCurrentSegment(bool dropFieldClipboard) override;
    void refreshActions() override;
    void refreshSegmentRows() override;
    void refreshFieldRows() override;
    void reloadFieldFrame() override;
    void redrawPositionBars(bool withSegmentCheck) override;
    void setIndicatorsEnabled(bool on) override;
    void drawSegmentBarOnly() override;
    void applyPanelSettings(bool showSegList, bool showTypeCtrl) override;
    void readPanelSettings(bool& showSegList, bool& showTypeCtrl) const override;
    std::vector<int> fieldDisplayOrder(const vm::Segment& segment) const override;
    QList<QAction*> editMenuActions() override;
    bool selectSegment(vm::Segment* segment) override;
    void entryDefinitionChanged(vm::Segment* segment, int entryIndex) override;
    void showFieldMenu(int entry, const QPoint& globalPos) override;

    // --- for the field list and the record commands ---
    // The field list plugs in here (nullptr: none); the panel owns it.
    void setFieldList(std::unique_ptr<FieldListHooks> fields);
    FieldListHooks& fieldList() const { return *m_fields; }
    Tmain& window() const { return m_window; }
    // Marks the structure changed, rewrites the current segment's row and
    // redraws the position bars.
    void structureChanged(bool withSegmentCheck);
    // After segment's length changed by delta bytes inside the data file: the
    // segments from its old end on move by delta (their rows follow).
    void shiftFollowingSegments(vm::Segment& segment, std::int64_t delta);
    void refreshSegmentRow(const vm::Segment* segment);
    // Row of a segment, -1 when no row carries it.
    int findSegmentRow(const vm::Segment* segment) const;
    void applyPanelLayout();
    // The segment Copy Segment refers to (not a copy), or nullptr.
    vm::Segment* segmentClipboard() const { return m_clipboard; }

    // Drag-and-drop of segment rows: taken only from the list itself in reset
    // mode; a drop moves the selected segments before row target.
    bool acceptsSegmentDrag(const QObject* source) const;
    void LvPartDragDrop(int target);

private:
    void buildLayout();
    void createActions();
    QWidget* makeStrip();
    // A position bar under its indicator labels.
    PositionBar* addBar(QVBoxLayout* into, bool typeMap, std::vector<IndicatorLabel*>& labels);
    QGroupBox* makeSegmentInfo();
    QGroupBox* makeTypeList();

    // Rows.
    vm::Segment* segmentAt(int row) const;
    int selectedRow() const;
    void selectRow(int row);
    void insertRow(int row, vm::Segment* segment);
    void fillRow(QTreeWidgetItem* item, int row);
    void rebuildRows();

    // Handlers.
    void LvPartSelectItem();
    void A_partNewExecute();
    void A_partInsertExecute();
    void A_partDelExecute();
    void A_partCopyExecute();
    void A_partCutExecute();
    void A_partPastExecute();
    void addSegment(int before);
    void segmentAdded(vm::Segment& segment, bool dataChanged);
    void segNameChange(const QString& text);
    void segBeginChange();
    void recLengthChange();
    void segLengthChange();
    void recCountChange();
    void isHClick(bool checked);
    void cToFileEndClick(bool checked);
    void upDownClick(vm::SegmentNumber which, QLineEdit* editor, int step);
    void LIsOver1Click();
    // Fills the editors from the current segment, with the guard set.
    void fillSegmentEditors();
    void showNumber(QLineEdit* editor, std::int64_t value);
    void editedSegmentNumbers();
    void reportFailure(const std::string& error);

    bool resetMode() const;
    bool editMode() const;
    std::int64_t fileSize() const;

    Tmain& m_window;
    std::unique_ptr<FieldListHooks> m_fields;

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

    vm::Segment* m_clipboard = nullptr;
    bool m_filling = false;    // the panel writes its own editors
    bool m_rebuilding = false; // rows are being replaced: selection events mean nothing
    bool m_showSegList = true;
    bool m_showTypeCtrl = true;
    int m_rememberedListHeight = 80;
};
