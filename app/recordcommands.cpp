#include "recordcommands.h"

#include <QAction>
#include <QMenu>

#include "addrecorddialog.h"
#include "delrecorddialog.h"
#include "document.h"
#include "operation.h"
#include "progresswindow.h"
#include "prompter.h"
#include "recordedits.h"

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

RecordCommands::RecordCommands(Document& doc, QWidget* window)
    : QObject(window), m_doc(doc), m_window(window) {
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
    m_menu->addActions({m_add, m_delete});
}

template <typename Dialog, typename EngineEdit>
void RecordCommands::wire(QAction* action, Dialog* dialog, EngineEdit edit) {
    connect(action, &QAction::triggered, this, [this, action, dialog, edit] {
        run(
            *dialog, [dialog](const vm::Segment& s) { dialog->prepare(s); }, action->text(),
            [dialog](const vm::Segment& s) { return stepLabel(dialog->request(), s); },
            [dialog, edit](vm::Segment& s, vm::WorkingFile& wf, vm::SegmentList& list,
                           const vm::Progress& p) {
                return edit(wf, list, s, dialog->request(), p);
            });
    });
}

void RecordCommands::showMenu(vm::Segment& segment, int record, bool append,
                              const QPoint& globalPos) {
    m_deleteDialog->setDefaultIndex(record);
    m_addDialog->setInsertPosition(record, append);
    const bool editable = m_doc.viewSettings().canEditStructure() && !segment.entries.empty();
    m_add->setEnabled(editable);
    m_delete->setEnabled(editable && segment.recordCount > 0);
    m_menu->popup(globalPos);
}

void RecordCommands::run(QDialog& dialog, const std::function<void(const vm::Segment&)>& prepare,
                         const QString& label,
                         const std::function<QString(const vm::Segment&)>& stepLabel,
                         const Edit& edit) {
    vm::Segment* s = m_doc.segments().current();
    if (!s || s->anomaly)
        return;
    prepare(*s);
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
        prompter().error(m_window, error);
}
