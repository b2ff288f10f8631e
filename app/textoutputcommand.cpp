#include "textoutputcommand.h"

#include "cp1252.h"
#include "cutblank.h"
#include "document.h"
#include "progresswindow.h"
#include "textoutput.h"

bool writeSegmentsAsText(Document& doc, const QString& path, QWidget* progressParent,
                         QString* error) {
    const vm::FileStream* data = doc.dataStream();
    if (!data) {
        if (error)
            *error = QStringLiteral("No File Open");
        return false;
    }
    ProgressWindow progress(progressParent, QStringLiteral("OutPut To Txt File"));
    const vm::TextOutputResult r =
        vm::writeTextOutput(vm::allSegments(doc.segments()), *data, doc.viewSettings(),
                            toNative(path), doc.locale(), progress.callback());
    if (!r.ok && error)
        *error = r.refused ? QString::fromStdString(vm::cp1252ToUtf8(r.error))
                           : path + QStringLiteral(": ") + QString::fromStdString(r.error);
    return r.ok;
}

bool cutBlankInDocument(Document& doc, QWidget* progressParent, QString* error) {
    if (!doc.dataStream())
        return false;
    if (doc.copying()) {
        if (error)
            *error = doc.copyRunningText();
        return false;
    }
    ProgressWindow progress(progressParent, QStringLiteral("Cut Blank"));
    const vm::CutBlankResult r =
        vm::cutBlank(doc.workingFile(), doc.segments(), doc.viewSettings(), progress.callback());
    if (r.refused) {
        if (error)
            *error = QStringLiteral(
                "Has any error in structure setting, please fix the error then try again.");
        return false;
    }
    if (!r.file.ok) {
        if (error)
            *error = QString::fromStdString(r.file.error);
        return false;
    }
    if (!doc.segments().empty())
        doc.segments().setCurrent(&doc.segments()[0]);
    doc.setDataChanged(true, true);
    doc.markStructureChanged();
    return true;
}
