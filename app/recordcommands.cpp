#include "recordcommands.h"

#include <algorithm>

#include <QAction>
#include <QMenu>

#include "addrecorddialog.h"
#include "delrecorddialog.h"
#include "document.h"
#include "documentfiles.h"
#include "operation.h"
#include "progresswindow.h"
#include "prompter.h"
#include "recordedits.h"
#include "recordpane.h"
#include "segmentgrid.h"
#include "recordtablecommands.h"

namespace {

QAction* recordAction(QObject* parent, const char* name, const char* caption) {
    auto* a = new QAction(QString::fromLatin1(caption), parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(a->text());
    a->setStatusTip(a->text());
    a->setProperty("imageIndex", -1);
    a->setEnabled(false);
    return a;
}

// The names of the steps in the Edit menu: "Insert 3 Records in Readings".
QString recordsText(std::int64_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" Record") : QStringLiteral(" Records"));
}

QString stepLabel(const vm::AddRecordsRequest& r, const vm::Segment& s) {
    return QStringLiteral("Insert ") + recordsText(r.count) + QStringLiteral(" in ") +
           segmentTitle(s);
}

QString stepLabel(const vm::DeleteRecordsRequest& r, const vm::Segment& s) {
    return QStringLiteral("Delete ") + recordsText(r.last - r.first + 1) +
           QStringLiteral(" from ") + segmentTitle(s);
}

} // namespace

RecordCommands::RecordCommands(Document& doc, RecordPane& pane, QWidget* window)
    : QObject(window), m_doc(doc), m_pane(pane), m_window(window) {
    m_addDialog = new TAddRecord(window);
    m_deleteDialog = new TdelRecord(window);
    m_add = recordAction(this, "AaddRecord", "Add Record");
    m_delete = recordAction(this, "AdelRecord", "Delete Record");
    wire(m_add, m_addDialog,
         [](vm::WorkingFile& wf, vm::SegmentList& list, vm::Segment& s,
            const vm::AddRecordsRequest& r,
            const vm::Progress& p) { return vm::addRecordsToSegment(wf, list, s, r, p); });
    wire(m_delete, m_deleteDialog,
         [](vm::WorkingFile& wf, vm::SegmentList& list, vm::Segment& s,
            const vm::DeleteRecordsRequest& r,
            const vm::Progress& p) { return vm::deleteRecordsFromSegment(wf, list, s, r, p); });
    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("RecordMenu"));
    m_tables = new RecordTableCommands(doc, window);
    m_menu->addActions({m_add, m_delete});
    m_menu->addSeparator();
    m_menu->addActions(m_tables->actions());
}

QList<QAction*> RecordCommands::tableActions() const {
    return m_tables->actions();
}

template <typename Dialog, typename EngineEdit>
void RecordCommands::wire(QAction* action, Dialog* dialog, EngineEdit edit) {
    connect(action, &QAction::triggered, this, [this, action, dialog, edit] {
        run(
            *dialog,
            [dialog](const vm::Segment& s, const vm::RecordExtent& counted) {
                dialog->prepare(s, counted);
            },
            action->text(),
            [dialog](const vm::Segment& s) { return stepLabel(dialog->request(), s); },
            [dialog, edit](vm::Segment& s, vm::WorkingFile& wf, vm::SegmentList& list,
                           const vm::Progress& p) {
                return edit(wf, list, s, dialog->request(), p);
            });
    });
}

QList<QAction*> RecordCommands::actions() const {
    return {m_add, m_delete};
}

void RecordCommands::aim(const vm::Segment* segment, int record, bool append) {
    m_deleteDialog->setDefaultIndex(record);
    m_addDialog->setInsertPosition(record, append);
    // With structure editing waiting for the working copy the entries stay
    // on, so that choosing one says what it waits for.
    const bool editable =
        segment && !segment->anomaly &&
        (m_doc.viewSettings().canEditStructure() || m_doc.editStructureWaiting()) &&
        !segment->entries.empty();
    m_add->setEnabled(editable);
    m_delete->setEnabled(editable &&
                         vm::countedExtent(*segment, m_doc.dataSize()).recordCount > 0);
    m_tables->refresh();
}

void RecordCommands::showMenu(vm::Segment& segment, int record, bool append,
                              const QPoint& globalPos) {
    aim(&segment, record, append);
    m_menu->popup(globalPos);
}

void RecordCommands::aimAtCurrentRow() {
    const vm::Segment* s = m_doc.segments().current();
    const SegmentGrid* g = s ? m_pane.mainGrid(s) : nullptr;
    // Row 0 holds the titles: no row chosen yet offers the first record.
    const int record = g ? std::max(g->currentRow() - 1, 0) : 0;
    const std::int32_t records = s ? vm::countedExtent(*s, m_doc.dataSize()).recordCount : 0;
    aim(s, std::min(record, std::max(records - 1, 0)), false);
}

void RecordCommands::run(
    QDialog& dialog,
    const std::function<void(const vm::Segment&, const vm::RecordExtent&)>& prepare,
    const QString& label, const std::function<QString(const vm::Segment&)>& stepLabel,
    const Edit& edit) {
    vm::Segment* s = m_doc.segments().current();
    if (!s || s->anomaly || !requireWorkingCopy(m_doc))
        return;
    prepare(*s, vm::countedExtent(*s, m_doc.dataSize()));
    if (prompter().runModal(dialog) != QDialog::Accepted)
        return;
    QString error;
    bool done = false;
    {
        // Gone before any message, so that it takes no click meant for the box.
        ProgressWindow progress(m_window, label);
        done = m_doc.rewrite(
            stepLabel(*s), progress.callback(),
            [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                const vm::FileResult r = edit(*s, wf, list, p);
                return Document::RewriteResult{r.ok, r.error};
            },
            &error);
    }
    if (!done)
        reportFailure(m_pane, m_window, error);
}
