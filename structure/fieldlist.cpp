#include "fieldlist.h"

#include <algorithm>
#include <optional>

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalBlocker>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "addtypedialog.h"
#include "controlpanel.h"
#include "document.h"
#include "fieldframe.h"
#include "fieldparts.h"
#include "mainwindow.h"
#include "progresswindow.h"
#include "prompter.h"
#include "recordpane.h"
#include "rowlistview.h"
#include "segmentedits.h"
#include "transformdialog.h"

namespace {

constexpr int kColumns = 5;
// The entry a row was filled from.
constexpr int kEntryRole = Qt::UserRole;

} // namespace

FieldList::FieldList(Tctrls& panel) : m_panel(panel) {
    m_widget = new QWidget;
    m_widget->setObjectName(QStringLiteral("typeListArea"));
    createActions();
    buildWidget();
    // Centred on the main window, as its other dialogs are.
    m_addDialog = new TAddAType(&panel.window());
    m_transform = new Ttransto(&panel.window());
}

FieldList::~FieldList() {
    // The widget first: its signals name this object.
    delete m_widget;
    delete m_addDialog;
    delete m_transform;
}

// --- construction ------------------------------------------------------------

void FieldList::createActions() {
    QWidget* w = m_widget;
    m_add = panelAction(w, "A_addItem", "Add a Type", [this] { A_addItemExecute(); });
    m_insert = panelAction(w, "A_insert", "Insert Type", [this] { A_insertExecute(); });
    m_delete = panelAction(w, "A_del", "Delete Type", [this] { A_delExecute(); });
    m_copy = panelAction(w, "A_copy", "Copy Type", [this] { A_copyExecute(); });
    m_cut = panelAction(w, "A_cut", "Cut Type", [this] { A_cutExecute(); });
    m_paste = panelAction(w, "A_paste", "Paste Type", [this] { A_pasteExecute(); });
    m_selectAll = panelAction(w, "A_selAll", "Select All Type", [this] { A_selAllExecute(); });
    m_convert = panelAction(w, "A_trans", "Converts Type", [this] { A_transExecute(); });
}

void FieldList::buildWidget() {
    m_frame = new TtypeFrame;
    m_list = new RowListView;
    m_list->setObjectName(QStringLiteral("LV"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setColumnCount(kColumns);
    m_list->setHeaderLabels({QString(), QStringLiteral("Type Kind"), QStringLiteral("Start"),
                             QStringLiteral("Length"), QStringLiteral("Memo")});
    const int widths[kColumns] = {20, 70, 35, 45, 85};
    for (int i = 0; i < kColumns; ++i)
        m_list->setColumnWidth(i, widths[i]);
    m_list->acceptsDrag = [this](const QObject* source) { return acceptsFieldDrag(source); };
    m_list->dropped = [this](int target) { LVDragDrop(target); };
    m_list->keyPressed = [this](int key) { return LVKeyDown(key); };
    QObject::connect(m_list, &QTreeWidget::itemSelectionChanged, m_widget,
                     [this] { LVSelectItem(); });

    m_menu = new QMenu(m_widget);
    m_menu->setObjectName(QStringLiteral("typeMenu"));
    m_menu->addActions({m_add, m_copy, m_delete, m_insert, m_paste, m_cut, m_selectAll, m_convert});
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        m_list, &QWidget::customContextMenuRequested, m_widget,
        [this](const QPoint& at) { m_menu->popup(m_list->viewport()->mapToGlobal(at)); });

    m_frame->bindFrame(m_list, true);
    QObject::connect(m_frame, &TtypeFrame::fieldsChanged, m_widget,
                     [this](const QList<int>& rows, bool fit) { frameChanged(rows, fit); });

    auto* layout = new QVBoxLayout(m_widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_frame);
    layout->addWidget(m_list, 1);
}

// --- state -------------------------------------------------------------------------

vm::Segment* FieldList::current() const {
    vm::Segment* s = document().segments().current();
    // Rows of another segment (one being replaced) are not acted on.
    return s && s == m_segment ? s : nullptr;
}

vm::StructMode FieldList::mode() const {
    return vm::structMode(document().viewSettings());
}

Document& FieldList::document() const {
    return m_panel.window().document();
}

RecordPane& FieldList::pane() const {
    return *m_panel.window().recordPane();
}

std::vector<int> FieldList::selectedRows() const {
    return m_frame->selectedRows();
}

int FieldList::firstSelectedRow() const {
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

void FieldList::saveColumnWidths() {
    pane().saveColumnWidths(current());
}

// --- rows --------------------------------------------------------------------------

void FieldList::fillRow(QTreeWidgetItem* item, int row) {
    const vm::Segment* s = current();
    if (!s || row < 0 || static_cast<std::size_t>(row) >= s->entries.size())
        return;
    const vm::TypeEntry& e = s->entries[static_cast<std::size_t>(row)];
    item->setData(0, kEntryRole, row);
    item->setText(0, QString::number(row));
    item->setText(1, kindText(e.kind));
    item->setText(2, QString::number(e.start));
    item->setText(3, QString::number(e.length));
    item->setText(4, RecordPane::toDisplay(e.memo));
}

void FieldList::rebuildRows() {
    {
        // Emptying the list is no choice of the user's: the frame follows below.
        const QSignalBlocker block(m_list);
        m_list->clear();
        if (m_segment) {
            QList<QTreeWidgetItem*> items;
            for (std::size_t i = 0; i < m_segment->entries.size(); ++i) {
                auto* item = new QTreeWidgetItem;
                fillRow(item, static_cast<int>(i));
                items << item;
            }
            m_list->addTopLevelItems(items);
        }
    }
    m_frame->setSegment(m_segment);
    m_frame->setMode(mode());
    m_frame->reloadFrame();
}

void FieldList::refreshFieldRow(int row) {
    if (QTreeWidgetItem* item = m_list->topLevelItem(row))
        fillRow(item, row);
}

void FieldList::refreshFieldRows() {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        refreshFieldRow(i);
}

// --- FieldListHooks ----------------------------------------------------------------

QWidget* FieldList::widget() {
    return m_widget;
}

QList<QAction*> FieldList::actions() {
    return {m_add, m_copy, m_delete, m_insert, m_paste, m_cut, m_selectAll, m_convert};
}

void FieldList::refreshActions(const ActionState& state) {
    for (QAction* a : actions())
        a->setEnabled(false);
    if (!state.hasCurrentSegment || (!state.resetMode && !state.editMode))
        return;
    const bool selected = !m_list->selectedItems().isEmpty();
    m_add->setEnabled(true);
    m_paste->setEnabled(!m_clipboard.empty());
    m_selectAll->setEnabled(m_list->topLevelItemCount() > 0);
    m_copy->setEnabled(selected);
    m_delete->setEnabled(selected);
    m_insert->setEnabled(selected);
    m_cut->setEnabled(selected && state.resetMode && !state.editMode);
    m_convert->setEnabled(selected && state.editMode);
}

void FieldList::showSegment(vm::Segment* segment, bool dropClipboard) {
    m_clipboard.segmentShown(dropClipboard, mode());
    m_segment = segment;
    rebuildRows();
}

void FieldList::syncFieldOrder() {
    vm::Segment* s = current();
    if (!s || m_list->topLevelItemCount() != static_cast<int>(s->entries.size()))
        return;
    // A drop reorders the entries at once, so this finds them in row order;
    // it keeps that promise should rows ever be moved on their own.
    std::vector<vm::TypeEntry> ordered;
    ordered.reserve(s->entries.size());
    for (int r = 0; r < m_list->topLevelItemCount(); ++r) {
        const int entry = m_list->topLevelItem(r)->data(0, kEntryRole).toInt();
        if (entry < 0 || static_cast<std::size_t>(entry) >= s->entries.size())
            return;
        ordered.push_back(s->entries[static_cast<std::size_t>(entry)]);
    }
    s->entries = std::move(ordered);
    for (int r = 0; r < m_list->topLevelItemCount(); ++r)
        fillRow(m_list->topLevelItem(r), r);
}

std::vector<std::size_t> FieldList::selectedEntries() const {
    std::vector<std::size_t> out;
    if (!current())
        return out;
    for (int r : selectedRows())
        out.push_back(static_cast<std::size_t>(r));
    return out;
}

void FieldList::reloadFieldFrame() {
    m_frame->setMode(mode());
    m_frame->reloadFrame();
}

void FieldList::entryDefinitionChanged(vm::Segment* segment, int entryIndex) {
    if (segment != m_segment)
        return;
    refreshFieldRow(entryIndex);
    m_frame->reloadFrame();
}

void FieldList::showFieldMenu(int entry, const QPoint& globalPos) {
    if (QTreeWidgetItem* item = entry >= 0 ? m_list->topLevelItem(entry) : nullptr) {
        m_list->clearSelection();
        m_list->setCurrentItem(item);
        item->setSelected(true);
    } else {
        m_list->clearSelection();
    }
    m_menu->popup(globalPos);
}

// --- closing steps -------------------------------------------------------------------

template <typename Edit> vm::FieldEdit FieldList::rewrite(const QString& label, Edit&& edit) {
    if (mode() != vm::StructMode::Edit)
        return edit(vm::Progress{});
    ProgressWindow progress(&m_panel, label);
    return edit(progress.callback());
}

bool FieldList::applied(vm::Segment& segment, const vm::FieldEdit& edit) {
    if (!edit.ok) {
        prompter().error(&m_panel, QString::fromStdString(edit.error));
        return false;
    }
    if (!edit.changed)
        return false;
    if (edit.bytesMoved) {
        document().setDataChanged(true, false);
        m_panel.shiftFollowingSegments(segment, edit.delta);
    }
    return true;
}

void FieldList::closingSteps(bool dropClipboard) {
    m_panel.showCurrentSegment(dropClipboard);
    m_panel.structureChanged(false);
    m_panel.refreshActions();
}

// --- field actions ---------------------------------------------------------------------

void FieldList::A_addItemExecute() {
    addOrInsert(true);
}

void FieldList::A_insertExecute() {
    addOrInsert(false);
}

void FieldList::addOrInsert(bool add) {
    vm::Segment* s = current();
    if (!s)
        return;
    saveColumnWidths();
    const int row = firstSelectedRow();
    const int fontHeight = pane().gridFontHeight();
    if (mode() == vm::StructMode::Reset) {
        if (add)
            vm::addTypeDescription(*s, row, fontHeight);
        else
            vm::insertTypeDescription(*s, row, fontHeight);
        closingSteps(true);
        return;
    }
    if (mode() != vm::StructMode::Edit)
        return;
    std::optional<vm::TypeEntry> proposal;
    if (add) {
        proposal = vm::proposeAddType(*s, m_addDialog->proposal());
    } else if (const auto p = vm::proposeInsertType(*s, row)) {
        m_addDialog->setInsertIndex(p->index);
        proposal = p->entry;
    } else {
        return; // nothing to insert before
    }
    m_addDialog->setLocale(document().locale());
    m_addDialog->setFontHeight(fontHeight);
    m_addDialog->prepareAddType(*s, proposal, add);
    const QString title = add ? QStringLiteral("Add A Type") : QStringLiteral("Insert A Type");
    m_addDialog->setWindowTitle(title);
    if (prompter().runModal(*m_addDialog) != QDialog::Accepted || !m_addDialog->newField())
        return;
    const vm::NewField field = *m_addDialog->newField();
    const vm::FieldEdit e = rewrite(title, [&](const vm::Progress& progress) {
        return vm::addField(document().workingFile(), *s, field, document().locale(), progress);
    });
    if (applied(*s, e))
        closingSteps(true);
}

void FieldList::A_delExecute() {
    vm::Segment* s = current();
    const std::vector<int> rows = selectedRows();
    if (!s || rows.empty())
        return;
    saveColumnWidths();
    const vm::StructMode m = mode();
    const vm::FieldEdit e = rewrite(QStringLiteral("Delete Type"), [&](const vm::Progress& p) {
        return vm::deleteFields(m, document().workingFile(), *s, rows, p);
    });
    if (applied(*s, e))
        closingSteps(true);
}

void FieldList::A_copyExecute() {
    vm::Segment* s = current();
    if (!s)
        return;
    m_clipboard.copy(*s, selectedRows());
    m_panel.refreshActions();
}

void FieldList::A_cutExecute() {
    // Only the description can be cut: in edit mode the cut bytes would leave
    // every record while the reload after it empties the clipboard, so
    // nothing would be left to paste.
    if (!current() || mode() != vm::StructMode::Reset || selectedRows().empty())
        return;
    A_copyExecute();
    A_delExecute();
    m_panel.redrawPositionBars(true);
}

void FieldList::A_pasteExecute() {
    vm::Segment* s = current();
    if (!s || m_clipboard.empty())
        return;
    saveColumnWidths();
    const vm::StructMode m = mode();
    const int row = firstSelectedRow();
    const vm::FieldEdit e = rewrite(QStringLiteral("Paste Type"), [&](const vm::Progress& p) {
        return vm::pasteFields(m, document().workingFile(), *s, m_clipboard, row, p);
    });
    // A paste keeps the clipboard, to paste it again elsewhere.
    if (applied(*s, e))
        closingSteps(false);
}

void FieldList::A_selAllExecute() {
    m_list->selectAll();
}

void FieldList::A_transExecute() {
    vm::Segment* s = current();
    const int row = firstSelectedRow();
    if (!s || row < 0 || mode() != vm::StructMode::Edit)
        return;
    const auto index = static_cast<std::size_t>(row);
    m_transform->prepareTransform(*s, index);
    if (prompter().runModal(*m_transform) != QDialog::Accepted || !m_transform->target())
        return;
    saveColumnWidths();
    const vm::TypeEntry target = *m_transform->target();
    const vm::FieldEdit e = rewrite(QStringLiteral("Converts Type"), [&](const vm::Progress& p) {
        return vm::convertField(document().workingFile(), *s, index, target, document().locale(), p,
                                pane().gridFontHeight());
    });
    if (!applied(*s, e))
        return;
    pane().fitColumnWidth(s, row);
    closingSteps(true);
}

// --- the list itself ---------------------------------------------------------------------

bool FieldList::LVKeyDown(int key) {
    if (!current())
        return false;
    // Letters alone, whatever Ctrl, Shift and Alt say. Paste and cut change
    // the structure, so they keep to what their actions allow.
    switch (key) {
    case Qt::Key_A:
        A_selAllExecute();
        return true;
    case Qt::Key_C:
        A_copyExecute();
        return true;
    case Qt::Key_V:
        if (m_paste->isEnabled())
            A_pasteExecute();
        return true;
    case Qt::Key_X:
        if (m_cut->isEnabled())
            A_cutExecute();
        return true;
    default:
        return false;
    }
}

void FieldList::LVSelectItem() {
    m_panel.refreshActions();
    m_frame->reloadFrame();
    // Only the field bar: it outlines the selected fields.
    m_panel.redrawPositionBars(false);
}

void FieldList::frameChanged(const QList<int>& rows, bool fitColumns) {
    vm::Segment* s = current();
    if (!s)
        return;
    if (fitColumns)
        for (int r : rows)
            pane().fitColumnWidth(s, r);
    for (int r : rows)
        refreshFieldRow(r);
    // What the user set by hand in the grid stays; the fitted columns are in
    // the grid already.
    saveColumnWidths();
    pane().refreshSegmentGrid(s, true);
    m_panel.structureChanged(false);
}

bool FieldList::acceptsFieldDrag(const QObject* source) const {
    return source == m_list && mode() == vm::StructMode::Reset;
}

void FieldList::LVDragDrop(int target) {
    vm::Segment* s = current();
    if (!s || mode() != vm::StructMode::Reset)
        return;
    const std::vector<std::size_t> moved = selectedEntries();
    if (moved.empty())
        return;
    saveColumnWidths();
    vm::moveEntries(*s, moved, target);
    rebuildRows();
    pane().refreshSegmentGrid(s, true);
    m_panel.structureChanged(false);
    m_panel.refreshActions();
}
