#pragma once

#include <functional>

#include <QList>

#include <QObject>
#include <QString>

#include "model.h"
#include "workingfile.h"

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;
class Document;
class RecordPane;
class RecordTableCommands;
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
    RecordCommands(Document& doc, RecordPane& pane, QWidget* window);

    TAddRecord* addDialog() const { return m_addDialog; }
    // "Add Record" and "Delete Record", for the menu bar too.
    QList<QAction*> actions() const;
    // Export Records and Import Records, also in the Edit menu.
    QList<QAction*> tableActions() const;

    // The record menu of a record segment at record `record` (-1: none);
    // append: the records go after the last one.
    void showMenu(vm::Segment& segment, int record, bool append, const QPoint& globalPos);
    // Aims both entries at the current segment's grid and its current row
    // (before the menu bar shows them).
    void aimAtCurrentRow();

private:
    using Edit = std::function<vm::FileResult(vm::Segment&, vm::WorkingFile&, vm::SegmentList&,
                                              const vm::Progress&)>;
    // The entry shows its dialog; what it accepts goes to edit.
    // edit(wf, list, segment, request, progress) is the engine's record edit.
    template <typename Dialog, typename EngineEdit>
    void wire(QAction* action, Dialog* dialog, EngineEdit edit);
    // Shows a record dialog prepared for the current segment and runs the
    // edit it accepted; label titles its progress, stepLabel names its step.
    void run(QDialog& dialog,
             const std::function<void(const vm::Segment&, const vm::RecordExtent&)>& prepare,
             const QString& label, const std::function<QString(const vm::Segment&)>& stepLabel,
             const Edit& edit);
    // The entries' dialogs start at record (-1: none); enabled as the segment allows.
    void aim(const vm::Segment* segment, int record, bool append);

    Document& m_doc;
    RecordPane& m_pane;
    QWidget* m_window;
    TAddRecord* m_addDialog = nullptr;
    TdelRecord* m_deleteDialog = nullptr;
    QAction* m_add = nullptr;
    QAction* m_delete = nullptr;
    QMenu* m_menu = nullptr;
    RecordTableCommands* m_tables = nullptr;
};
