#include "textoutputcommand.h"

#include <QFileInfo>

#include "cp1252.h"
#include "cutblank.h"
#include "document.h"
#include "model.h"
#include "outputfile.h"
#include "progresswindow.h"
#include "prompter.h"
#include "structexport.h"
#include "textoutput.h"

bool mayWriteOutput(const Document& doc, QWidget* parent, const QString& path) {
    const std::string out = toNative(path);
    for (const QString& input : {doc.dataFileName(), doc.typeFileName(), doc.workingFileName()})
        if (!input.isEmpty() && vm::sameOutput(out, toNative(input))) {
            prompter().error(parent, QStringLiteral("The output ") + path +
                                         QStringLiteral(" would overwrite ") + input +
                                         QStringLiteral(", which it is made from. Nothing was "
                                                        "written."));
            return false;
        }
    return prompter().mayReplace(parent, path, QStringLiteral("Warning "),
                                 QStringLiteral("Are You Sure. ") + path +
                                     QStringLiteral(" Is Exist. Replace It ?"));
}

bool writeStructureAs(const Document& doc, StructureExport format, const QString& path,
                      QString* error) {
    // Copies counted against the file, as the command-line tool counts them:
    // the document's own segments change only through its operations.
    vm::SegmentList copies;
    for (const auto& s : doc.segments()) {
        auto c = vm::cloneSegment(*s);
        if (doc.dataStream())
            vm::computeRecordCount(c.get(), doc.dataSize());
        copies.append(std::move(c));
    }
    const std::string typeName = QFileInfo(doc.typeFileName()).fileName().toStdString();
    const std::string text =
        format == StructureExport::CHeader
            ? vm::exportCHeader(copies, typeName)
            : vm::exportKaitaiStruct(
                  copies, vm::kaitaiIdOf(QFileInfo(doc.dataFileName()).fileName().toStdString()),
                  typeName);
    const vm::TextOutputResult r = vm::writeTextFile(
        toNative(path), {}, false,
        [&](const vm::TextSink& sink, const vm::Progress&) { return sink(text); });
    if (!r.ok && error)
        *error = path + QStringLiteral(": ") + QString::fromStdString(r.error);
    return r.ok;
}

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
