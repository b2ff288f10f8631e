#include "cimportcommand.h"

#include <QFile>

#include "cimport.h"
#include "cimportdialog.h"
#include "document.h"
#include "model.h"
#include "prompter.h"

namespace {

// The dialog's requests answered through the C import: the header is parsed
// once per change and its structs imported from that parse as they are picked.
class CImportSession {
public:
    explicit CImportSession(TimportCStruct& dialog) : m_dialog(dialog) {
        QObject::connect(&dialog, &TimportCStruct::headerChanged, &dialog, [this] { parse(); });
        QObject::connect(&dialog, &TimportCStruct::typeChosen, &dialog, [this] { preview(); });
        QObject::connect(&dialog, &TimportCStruct::openHeaderRequested, &dialog,
                         [this] { openHeader(); });
    }

private:
    void parse() {
        const CImportChoice c = m_dialog.choice();
        m_parsed = false;
        // Nothing typed yet is no error to show.
        if (QString::fromStdString(c.headerText).trimmed().isEmpty()) {
            m_dialog.setTypes({}, {});
            return;
        }
        vm::CImportOptions options;
        options.target = c.target.empty() ? vm::kDefaultCTarget : c.target;
        options.includeDirs = c.includeDirs;
        options.defines = c.defines;
        m_parsed = m_decls.parse({c.headerPath, c.headerText}, options);
        if (!m_parsed) {
            m_dialog.setTypes({}, m_decls.error());
            return;
        }
        const std::vector<std::string> names = m_decls.structNames();
        m_dialog.setTypes(names, names.empty() ? "The header defines no struct" : "");
    }

    void preview() {
        const std::string name = m_dialog.choice().typeName;
        if (m_parsed && !name.empty())
            m_dialog.setPreview(m_decls.import(name));
    }

    void openHeader() {
        const QString path =
            prompter().openFileName(&m_dialog, QStringLiteral("Open Header"),
                                    QStringLiteral("C headers (*.h *.hh *.hpp);;All files (*.*)"));
        if (path.isEmpty())
            return;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            prompter().error(&m_dialog,
                             QStringLiteral("Cannot open ") + path + QStringLiteral("\n") +
                                 file.errorString());
            return;
        }
        m_dialog.setHeader(toNative(path), file.readAll().toStdString());
    }

    TimportCStruct& m_dialog;
    vm::CDeclarations m_decls;
    bool m_parsed = false;
};

} // namespace

void importCStructInto(Document& doc, QWidget* parent) {
    vm::Segment* segment = doc.segments().current();
    if (!segment || !doc.viewSettings().canResetStructure())
        return;
    if (!vm::cImportBuiltIn()) {
        prompter().error(parent, QString::fromLatin1(vm::kCImportNotBuiltIn));
        return;
    }
    TimportCStruct dialog(parent);
    dialog.setTargets(vm::offeredCTargets());
    CImportSession session(dialog);
    if (prompter().runModal(dialog) != QDialog::Accepted || dialog.fields().empty())
        return;
    auto changed = vm::cloneSegment(*segment);
    vm::applyCStruct(*changed, dialog.fields(), dialog.recordLength(), doc.dataSize());
    vm::SegmentList replacement;
    replacement.append(std::move(changed));
    doc.replaceSegment(segment, QStringLiteral("Import C Struct"), std::move(replacement));
}
