#include "recordcommands.h"

#include <QAction>
#include <QMenu>

#include "addrecorddialog.h"
#include "delrecorddialog.h"
#include "document.h"
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

} // namespace

RecordCommands::RecordCommands(Document& doc, QWidget* window)
    : QObject(window), m_doc(doc), m_window(window) {
    m_addDialog = new TAddRecord(window);
    m_deleteDialog = new TdelRecord(window);
    m_add = recordAction(this, "AaddRecord", "Add Record");
    m_delete = recordAction(this, "AdelRecord", "Delete Record");
    connect(m_add, &QAction::triggered, this, [this] {
        run(
            *m_addDialog, [this](const vm::Segment& s) { m_addDialog->prepare(s); },
            QStringLiteral("Add Record"),
            [this](vm::Segment& s, vm::WorkingFile& wf, vm::SegmentList& list,
                   const vm::Progress& p) {
                return vm::addRecordsToSegment(wf, list, s, m_addDialog->request(), p);
            });
    });
    connect(m_delete, &QAction::triggered, this, [this] {
        run(
            *m_deleteDialog, [this](const vm::Segment& s) { m_deleteDialog->prepare(s); },
            QStringLiteral("Delete Record"),
            [this](vm::Segment& s, vm::WorkingFile& wf, vm::SegmentList& list,
                   const vm::Progress& p) {
                return vm::deleteRecordsFromSegment(wf, list, s, m_deleteDialog->request(), p);
            });
    });
    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("RecordMenu"));
    m_menu->addActions({m_add, m_delete});
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
                         const QString& label, const Edit& edit) {
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
            label, progress.callback(),
            [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                const vm::FileResult r = edit(*s, wf, list, p);
                return Document::RewriteResult{r.ok, r.error};
            },
            &error);
    }
    if (!done)
        prompter().error(m_window, error);
}
