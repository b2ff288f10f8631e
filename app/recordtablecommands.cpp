#include "recordtablecommands.h"

#include <QAction>

#include "cp1252.h"
#include "document.h"
#include "documentfiles.h"
#include "filestream.h"
#include "importrecordsdialog.h"
#include "model.h"
#include "progresswindow.h"
#include "prompter.h"
#include "tableexport.h"
#include "tablereportdialog.h"
#include "textoutputcommand.h"

namespace {

const QString kTableFilter = QStringLiteral(
    "CSV tables (*.csv);;TSV tables (*.tsv *.tab);;JSON Lines (*.jsonl *.ndjson *.json);;All files "
    "(*.*)");

QString fromSingleByte(const std::string& text) {
    return QString::fromStdString(vm::cp1252ToUtf8(text));
}

QString summaryOf(const vm::TableImportResult& r, bool dryRun) {
    const QString fits =
        QStringLiteral("%1 values did not fit as given (%2 cut, %3 not written).")
            .arg(r.cut + r.notWritten)
            .arg(r.cut)
            .arg(r.notWritten);
    if (dryRun)
        return QStringLiteral("Dry run, nothing written: %1 rows, %2 values would change, %3 "
                              "records would be appended. ")
                   .arg(r.rows)
                   .arg(r.written)
                   .arg(r.appended) +
               fits;
    return QStringLiteral("%1 rows imported: %2 values written, %3 records appended. ")
               .arg(r.rows)
               .arg(r.written)
               .arg(r.appended) +
           fits;
}

} // namespace

RecordTableCommands::RecordTableCommands(Document& doc, QWidget* window)
    : QObject(window), m_doc(doc), m_window(window) {
    auto entry = [this](const char* name, const QString& caption, void (RecordTableCommands::*run)()) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setStatusTip(caption);
        a->setProperty("imageIndex", -1);
        connect(a, &QAction::triggered, this, run);
        return a;
    };
    m_export = entry("AexportRecords", QStringLiteral("Export Records\u2026"),
                     &RecordTableCommands::exportRecords);
    m_import = entry("AimportRecords", QStringLiteral("Import Records\u2026"),
                     &RecordTableCommands::importRecords);
    m_importDialog = new TimportRecords(window);
    m_report = new TtableReport(window);
    for (auto signal : {&Document::currentSegmentChanged, &Document::segmentChanged,
                        &Document::fieldsChanged})
        connect(&doc, signal, this, &RecordTableCommands::refresh);
    for (auto signal : {&Document::optionsChanged, &Document::marksChanged,
                        &Document::structureReplaced, &Document::documentReplaced,
                        &Document::layoutReplaced})
        connect(&doc, signal, this, &RecordTableCommands::refresh);
    refresh();
}

QList<QAction*> RecordTableCommands::actions() const {
    return {m_export, m_import};
}

vm::Segment* RecordTableCommands::recordSegment() const {
    vm::Segment* s = m_doc.segments().current();
    return s && !s->anomaly && m_doc.dataStream() ? s : nullptr;
}

void RecordTableCommands::refresh() {
    const bool records = recordSegment() != nullptr;
    m_export->setEnabled(records);
    // Values written into records are edits of the data.
    m_import->setEnabled(records && m_doc.viewSettings().canEditData() && !m_doc.copying());
}

void RecordTableCommands::exportRecords() {
    vm::Segment* s = recordSegment();
    if (!s)
        return;
    const QString title = QStringLiteral("Export Records");
    const QString name = prompter().saveFileName(m_window, title, kTableFilter);
    if (name.isEmpty() || !mayWriteOutput(m_doc, m_window, name))
        return;
    vm::TableExportOptions options;
    options.format = vm::tableFormatOfPath(toNative(name)).value_or(vm::TableFormat::Csv);
    // A copy: counting the records against the file may cut a segment that
    // runs past its end, and the document's segments change only by its
    // operations.
    const auto copy = vm::cloneSegment(*s);
    vm::TextOutputResult r;
    {
        ProgressWindow progress(m_window, title);
        r = vm::writeRecordTable(*copy, *m_doc.dataStream(), options, toNative(name), m_doc.locale(),
                                 progress.callback());
    }
    if (r.ok || r.error == vm::kTextOutputStopped)
        return;
    prompter().error(m_window, r.refused ? fromSingleByte(r.error)
                                         : name + QStringLiteral(": ") +
                                               QString::fromStdString(r.error));
}

void RecordTableCommands::importRecords() {
    vm::Segment* s = recordSegment();
    if (!s || !requireWorkingCopy(m_doc))
        return;
    const QString title = QStringLiteral("Import Records");
    const QString table = prompter().openFileName(m_window, title, kTableFilter);
    if (table.isEmpty())
        return;
    m_importDialog->prepare(table, m_doc.viewSettings().canEditStructure());
    if (prompter().runModal(*m_importDialog) != QDialog::Accepted)
        return;
    const vm::TableImportOptions options = m_importDialog->options();
    vm::FileStream source;
    if (!source.open(toNative(table), vm::FileStream::Mode::Read)) {
        prompter().error(m_window, QStringLiteral("Cannot open table ") + table +
                                       QStringLiteral("\n") +
                                       QString::fromStdString(source.lastError()));
        return;
    }
    m_report->clear();
    const vm::TableReportSink listReport = [this](const vm::TableValueReport& r) {
        m_report->add(r);
    };
    vm::TableImportResult result;
    QString refused;
    {
        // Gone before any message, so that it takes no click meant for the box.
        ProgressWindow progress(m_window, title);
        if (options.dryRun) {
            // Only reads: nothing of the document changes.
            result = vm::readRecordTable(m_doc.workingFile(), m_doc.segments(), *s, source, options,
                                         listReport, m_doc.locale(), progress.callback());
        } else {
            m_doc.rewrite(
                title, progress.callback(),
                [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                    result = vm::readRecordTable(wf, list, *s, source, options, listReport,
                                                 m_doc.locale(), p);
                    return Document::RewriteResult{result.ok, result.error,
                                                   result.written > 0 || result.appended > 0};
                },
                &refused);
        }
    }
    if (!result.ok) {
        if (result.error == vm::kStoppedByUser)
            return;
        // A refusal of the table names its line; the document refusing to
        // change (no complete working copy) says why itself.
        QString why;
        if (result.line > 0)
            why = table + QStringLiteral(", ") + fromSingleByte(result.error);
        else if (!result.error.empty())
            why = QStringLiteral("Cannot import ") + table + QStringLiteral(": ") +
                  fromSingleByte(result.error);
        else
            why = refused;
        prompter().error(m_window, why);
        return;
    }
    m_report->setSummary(summaryOf(result, options.dryRun));
    prompter().runModal(*m_report);
}
