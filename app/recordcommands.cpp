#include "recordcommands.h"

#include "document.h"
#include "progresswindow.h"

namespace {

template <typename Edit>
bool runRecordEdit(Document& doc, QWidget* progressParent, const QString& label, QString* error,
                   Edit&& edit) {
    if (!doc.dataStream()) {
        if (error)
            *error = QStringLiteral("No File Open");
        return false;
    }
    if (doc.copying()) {
        if (error)
            *error = doc.copyRunningText();
        return false;
    }
    ProgressWindow progress(progressParent, label);
    const vm::FileResult r = edit(progress.callback());
    if (!r.ok) {
        if (error)
            *error = QString::fromStdString(r.error);
        return false;
    }
    doc.setDataChanged(true, false);
    doc.markStructureChanged();
    return true;
}

} // namespace

bool addRecordsInDocument(Document& doc, vm::Segment& segment, const vm::AddRecordsRequest& request,
                          QWidget* progressParent, QString* error) {
    return runRecordEdit(doc, progressParent, QStringLiteral("Add Record"), error,
                         [&](const vm::Progress& progress) {
                             return vm::addRecordsToSegment(doc.workingFile(), doc.segments(),
                                                            segment, request, progress);
                         });
}

bool deleteRecordsInDocument(Document& doc, vm::Segment& segment,
                             const vm::DeleteRecordsRequest& request, QWidget* progressParent,
                             QString* error) {
    return runRecordEdit(doc, progressParent, QStringLiteral("Delete Record"), error,
                         [&](const vm::Progress& progress) {
                             return vm::deleteRecordsFromSegment(doc.workingFile(), doc.segments(),
                                                                 segment, request, progress);
                         });
}
