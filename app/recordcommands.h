#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "workingfile.h"

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;
class Document;
class TAddRecord;
class TdelRecord;

namespace vm {
struct Segment;
class SegmentList;
} // namespace vm

// Record insertion and deletion: the record menu of a grid's right click
// with its two entries, the two record dialogs, and the rewrite they ask the
// document for (with a progress window that can stop it). A rewrite that
// fails changes nothing and says why.
class RecordCommands : public QObject {
    Q_OBJECT
public:
    RecordCommands(Document& doc, QWidget* window);

    TAddRecord* addDialog() const { return m_addDialog; }

    // The record menu of a record segment at record `record` (-1: none);
    // append: the records go after the last one.
    void showMenu(vm::Segment& segment, int record, bool append, const QPoint& globalPos);

private:
    using Edit = std::function<vm::FileResult(vm::Segment&, vm::WorkingFile&, vm::SegmentList&,
                                              const vm::Progress&)>;
    // The entry shows its dialog; what it accepts goes to edit.
    // edit(wf, list, segment, request, progress) is the engine's record edit.
    template <typename Dialog, typename EngineEdit>
    void wire(QAction* action, Dialog* dialog, EngineEdit edit);
    // Shows a record dialog prepared for the current segment and runs the
    // edit it accepted; label titles its progress, stepLabel names its step.
    void run(QDialog& dialog, const std::function<void(const vm::Segment&)>& prepare,
             const QString& label, const std::function<QString(const vm::Segment&)>& stepLabel,
             const Edit& edit);

    Document& m_doc;
    QWidget* m_window;
    TAddRecord* m_addDialog = nullptr;
    TdelRecord* m_deleteDialog = nullptr;
    QAction* m_add = nullptr;
    QAction* m_delete = nullptr;
    QMenu* m_menu = nullptr;
};
