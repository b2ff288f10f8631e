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
#include "cimportcommand.h"
#include "controlpanel.h"
#include "document.h"
#include "fieldframe.h"
#include "fieldparts.h"
#include "progresswindow.h"
#include "prompter.h"
#include "rowlistview.h"
#include "segmentedits.h"
#include "transformdialog.h"

namespace {

constexpr int kColumns = 5;

} // namespace

FieldList::FieldList(Tctrls& panel) : m_panel(panel) {
    m_widget = new QWidget;
    m_widget->setObjectName(QStringLiteral("typeListArea"));
    createActions();
    buildWidget();
    // Centred on the main window, as its other dialogs are.
    m_addDialog = new TAddAType(panel.dialogParent());
    m_transform = new Ttransto(panel.dialogParent());
    Document* d = &document();
    QObject::connect(d, &Document::fieldsChanged, m_widget,
                     [this](vm::Segment* segment) { fieldsChanged(segment); });
    QObject::connect(d, &Document::optionsChanged, m_widget, [this] {
        const bool held = !m_clipboard.empty();
        m_clipboard.modeChanged(m_mode, mode());
        m_mode = mode();
        m_frame->setMode(m_mode);
        m_frame->reloadFrame();
        // The panel set the actions before the clipboard was emptied.
        if (held && m_clipboard.empty())
            m_panel.refreshActions();
    });
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
    m_importC = panelAction(w, "A_importCStruct", "", [this] {
        importCStructInto(document(), m_panel.dialogParent());
    });
    m_importC->setText(QStringLiteral("Import C Struct\u2026"));
    m_importSeparator = new QAction(w);
    m_importSeparator->setSeparator(true);
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
    m_menu->addActions(actions());
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        m_list, &QWidget::customContextMenuRequested, m_widget,
        [this](const QPoint& at) { m_menu->popup(m_list->viewport()->mapToGlobal(at)); });

    m_frame->bindFrame(m_list, true);
    // The frame's edits are the document's: a kind or a length fits the
    // column of each changed field to it.
    m_frame->setApply([this](const TtypeFrame::Change& change, const std::vector<int>& rows,
                             bool fitColumns, TtypeFrame::Part part) {
        vm::Segment* s = current();
        if (!s)
            return false;
        // Typing in one of the frame's editors for the same fields is one
        // step: "Change Kind of temperature".
        static const char* const kParts[] = {"Kind", "Start", "Length", "Memo"};
        const QString what = QString::fromLatin1(kParts[static_cast<int>(part)]);
        QString burst = QStringLiteral("frame ") + what;
        for (int r : rows)
            burst += QLatin1Char(' ') + QString::number(r);
        m_framing = true;
        const bool changed = document().changeFields(
            *s,
            QStringLiteral("Change ") + what + QStringLiteral(" of ") +
                fieldsTitle(*s, vm::selectedEntries(*s, rows)),
            [&](vm::Segment& seg) {
                if (!change(seg))
                    return false;
                if (fitColumns)
                    for (const std::size_t i : vm::selectedEntries(seg, rows))
                        vm::fitEntryColumn(seg.entries[i], fontHeight());
                return true;
            },
            burst);
        m_framing = false;
        return changed;
    });
    QObject::connect(m_frame, &TtypeFrame::editingEnded, m_widget,
                     [this] { document().endEditBurst(); });

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
    return document().structMode();
}

Document& FieldList::document() const {
    return m_panel.document();
}

int FieldList::fontHeight() const {
    return m_panel.pane().gridFontHeight();
}

std::vector<int> FieldList::selectedRows() const {
    return m_frame->selectedRows();
}

int FieldList::firstSelectedRow() const {
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

// --- rows --------------------------------------------------------------------------

void FieldList::fillRow(QTreeWidgetItem* item, int row) {
    const vm::Segment* s = current();
    if (!s || row < 0 || static_cast<std::size_t>(row) >= s->entries.size())
        return;
    const vm::TypeEntry& e = s->entries[static_cast<std::size_t>(row)];
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

void FieldList::refreshFieldRows() {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        fillRow(m_list->topLevelItem(i), i);
}

void FieldList::fieldsChanged(vm::Segment* segment) {
    if (segment != m_segment || !current())
        return;
    // The same rows: their texts, the selection kept. Rows that came or went:
    // the list again.
    if (m_list->topLevelItemCount() == static_cast<int>(segment->entries.size()))
        refreshFieldRows();
    else
        rebuildRows();
    if (!m_framing)
        m_frame->reloadFrame();
}

// --- FieldListHooks ----------------------------------------------------------------

QWidget* FieldList::widget() {
    return m_widget;
}

QList<QAction*> FieldList::actions() {
    return {m_add,   m_copy,      m_delete,  m_insert,          m_paste,
            m_cut,   m_selectAll, m_convert, m_importSeparator, m_importC};
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
    // The description only, as reset mode changes it.
    m_importC->setEnabled(state.resetMode);
}

void FieldList::showSegment(vm::Segment* segment, bool dropClipboard) {
    m_clipboard.segmentShown(dropClipboard && !m_pasting, mode());
    m_segment = segment;
    rebuildRows();
}

std::vector<std::size_t> FieldList::selectedEntries() const {
    std::vector<std::size_t> out;
    if (!current())
        return out;
    for (int r : selectedRows())
        out.push_back(static_cast<std::size_t>(r));
    return out;
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

// --- field actions ---------------------------------------------------------------------

bool FieldList::run(vm::Segment& segment, const QString& label, const Document::FieldAction& edit,
                    const QString& stepLabel) {
    QString error;
    bool changed = false;
    {
        std::optional<ProgressWindow> progress;
        if (mode() == vm::StructMode::Edit)
            progress.emplace(&m_panel, label);
        const QString step = stepLabel.isEmpty()
                                 ? label + QStringLiteral(" in ") + segmentTitle(segment)
                                 : stepLabel;
        changed = document().fieldAction(
            segment, step, progress ? progress->callback() : vm::Progress{}, edit, &error);
    }
    reportFailure(m_panel.pane(), &m_panel, error);
    return changed;
}

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
    const int row = firstSelectedRow();
    const int height = fontHeight();
    if (mode() == vm::StructMode::Reset) {
        document().changeFields(*s,
                                add ? QStringLiteral("Add a Type") : QStringLiteral("Insert Type"),
                                [&](vm::Segment& seg) {
                                    if (add)
                                        vm::addTypeDescription(seg, row, height);
                                    else
                                        vm::insertTypeDescription(seg, row, height);
                                    return true;
                                });
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
    m_addDialog->setFontHeight(height);
    m_addDialog->prepareAddType(*s, proposal, add);
    const QString title = add ? QStringLiteral("Add A Type") : QStringLiteral("Insert A Type");
    m_addDialog->setWindowTitle(title);
    if (prompter().runModal(*m_addDialog) != QDialog::Accepted || !m_addDialog->newField())
        return;
    const vm::NewField field = *m_addDialog->newField();
    run(*s, title, [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& progress) {
        return vm::addField(wf, seg, field, document().locale(), progress);
    });
}

void FieldList::A_delExecute() {
    vm::Segment* s = current();
    const std::vector<int> rows = selectedRows();
    if (!s || rows.empty())
        return;
    const vm::StructMode m = mode();
    run(*s, QStringLiteral("Delete Type"),
        [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& p) {
            return vm::deleteFields(m, wf, seg, rows, p);
        });
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
}

void FieldList::A_pasteExecute() {
    vm::Segment* s = current();
    if (!s || m_clipboard.empty())
        return;
    const vm::StructMode m = mode();
    const int row = firstSelectedRow();
    m_pasting = true;
    run(*s, QStringLiteral("Paste Type"),
        [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& p) {
            return vm::pasteFields(m, wf, seg, m_clipboard, row, p);
        });
    m_pasting = false;
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
    const vm::TypeEntry target = *m_transform->target();
    run(
        *s, QStringLiteral("Converts Type"),
        [&](vm::WorkingFile& wf, vm::Segment& seg, const vm::Progress& p) {
            return vm::convertField(wf, seg, index, target, document().locale(), p, fontHeight());
        },
        QStringLiteral("Change Kind of ") + fieldsTitle(*s, {index}));
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
    document().changeFields(*s, QStringLiteral("Move Types"), [&](vm::Segment& seg) {
        vm::moveEntries(seg, moved, target);
        return true;
    });
}
