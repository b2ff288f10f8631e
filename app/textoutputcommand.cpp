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
    const std::vector<vm::Segment*> segments = vm::allSegments(doc.segments());
    std::vector<std::int32_t> lengths;
    for (const vm::Segment* s : segments)
        lengths.push_back(s->length);
    ProgressWindow progress(progressParent, QStringLiteral("OutPut To Txt File"));
    const vm::TextOutputResult r = vm::writeTextOutput(
        segments, *data, doc.viewSettings(), toNative(path), doc.locale(), progress.callback());
    // The output counts the segments and so cuts those that run past the end
    // of the file to it: their views follow, and the type file no longer
    // matches the structure.
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (segments[i]->length != lengths[i]) {
            doc.setTypeChanged(true);
            emit doc.segmentChanged(segments[i]);
        }
    if (!r.ok && error)
        *error = r.refused ? QString::fromStdString(vm::cp1252ToUtf8(r.error))
                           : path + QStringLiteral(": ") + QString::fromStdString(r.error);
    return r.ok;
}

bool cutBlankInDocument(Document& doc, QWidget* progressParent, QString* error) {
    if (!doc.dataStream())
        return false;
    ProgressWindow progress(progressParent, QStringLiteral("Cut Blank"));
    return doc.rewrite(
        QStringLiteral("Cut Blank"), progress.callback(),
        [&doc](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
            const vm::CutBlankResult r = vm::cutBlank(wf, list, doc.viewSettings(), p);
            if (r.refused)
                return Document::RewriteResult{false, "Has any error in structure setting, "
                                                      "please fix the error then try again."};
            if (r.file.ok && !list.empty())
                list.setCurrent(&list[0]);
            return Document::RewriteResult{r.file.ok, r.file.error};
        },
        error);
}
