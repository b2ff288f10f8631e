#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "fieldedits.h"
#include "gridhost.h"
#include "kinds.h"
#include "modelevents.h"
#include "operation.h"
#include "segment.h"
#include "textlocale.h"
#include "typefile.h"
#include "undohistory.h"
#include "workingfile.h"

class QWidget;
namespace vm {
class FileLock;
}

// The one open document: the data file, its working copy in the temporary
// folder, the structure loaded from a type file and the change marks. It is
// the one place that changes the model: every change is an operation of its
// own kind (one function each below), recorded as an Operation value and
// announced through the signals of ModelEvents, which the views follow.
// Asking the user is not its work: DocumentFiles asks the questions around it.
class Document : public ModelEvents, public GridHost {
    Q_OBJECT
public:
    // The model keeps 32-bit offsets, so larger files cannot be described.
    static constexpr std::int64_t kMaxDataFileSize = std::int64_t{1} << 31;

    explicit Document(QObject* parent = nullptr);
    ~Document() override;

    // --- state ---
    const QString& dataFileName() const { return m_dataFileName; }
    QString workingFileName() const;
    const QString& typeFileName() const { return m_typeFileName; }
    // The working copy open for reading and writing; nullptr without one.
    // While the copy is still being made it is the data file itself, open for
    // reading only: the views show it at once, and the object stays the same
    // when the finished copy takes its place, so no reader is left holding a
    // stream that went away.
    vm::FileStream* dataStream() override;
    const vm::FileStream* dataStream() const;
    // The working copy with its stream. Changes go through the operations;
    // tests reach in here to stage a rewrite that fails.
    vm::WorkingFile& workingFile() { return m_work; }
    // The working copy is still being filled on its own thread: the data
    // cannot change until it is complete.
    bool copying() const { return m_fill != nullptr; }
    // Share of the working copy made, in thousandths.
    int copyProgress() const { return m_fillPermille; }
    // The user cancelled the working copy: the data file itself is shown,
    // read-only, until remakeWorkingCopy.
    bool copyCancelled() const { return m_copyCancelled; }
    // Structure editing was on when the copy began and comes back with it.
    bool editStructureWaiting() const { return m_resumeEditStructure; }
    // Why the data cannot change now (the copy is being made, or was
    // cancelled); empty when it can.
    QString whyDataWaits() const;
    // Puts whyDataWaits() on the status line; false when the data may change
    // now (nothing said then).
    bool sayWhyDataWaits();
    bool isOpen() const { return !m_dataFileName.isEmpty(); }
    bool dataChanged() const { return m_dataChanged; }
    bool typeChanged() const { return m_typeChanged; }
    const QString& installDir() const { return m_installDir; }
    const QString& tempDir() const { return m_tempDir; }
    void setTempDir(const QString& dir) { m_tempDir = dir; }
    QString defaultTypeFile() const;
    QString captionText() const;
    // Size of the working copy, 0 without one.
    std::int64_t dataSize() const;
    // True when path is the data file or the type file as this document last
    // read or wrote it, and another program changed it since.
    bool changedOnDisk(const QString& path) const;

    vm::SegmentList& segments() override { return m_segments; }
    const vm::SegmentList& segments() const { return m_segments; }
    const vm::ViewSettings& viewSettings() const override { return m_view; }
    const vm::DataHintFlags& dataHintFlags() const { return m_dataHint; }
    const vm::Locale& locale() const override { return m_locale; }
    vm::StructMode structMode() const { return vm::structMode(m_view); }
    // Every ToFilesEnd segment runs to the end of the data file, and every
    // record count follows the numbers: called when a structure meets the
    // data, after the data's size changed and after a structure change. A
    // ToFilesEnd value it changes marks the structure changed unless it is
    // the default type file's (no signal: the caller announces the change).
    void fitSegmentsToData();

    // --- GridHost ---
    bool canWriteData() const override { return !copying() && !m_copyCancelled; }
    void dataWriteRefused() override { sayWhyDataWaits(); }
    bool gridFillEnabled() const override { return m_gridFillEnabled; }
    ModelEvents& events() override { return *this; }
    // A cell editor writes each keystroke: the keystrokes into one cell until
    // its editor closes (editFinished) are one step to undo.
    bool writeData(std::int64_t offset, std::span<const std::uint8_t> bytes,
                   std::string* error) override;
    void changeEntry(vm::Segment* segment, int index, const vm::TypeEntry& entry) override;
    void selectSegment(vm::Segment* segment) override { setCurrentSegment(segment); }
    void editFinished() override { endEditBurst(); }

    // --- files; the questions and messages around them are DocumentFiles' ---
    // A new document on the data file name: its working copy begins, the views
    // read name meanwhile. The structure stays until a type file is read.
    bool openData(const QString& name, QString* error);
    // The save questions may have closed the stream of a document that then
    // stays: it is opened again on a fresh copy of its data file, which holds
    // exactly what the user chose to keep. False when that failed (the
    // document is then closed).
    bool reopenIfClosed();
    // Lets go of the working copy (the user has decided about it): it is
    // deleted, with the copies the undo history kept.
    void closeStream();
    // Writes the working copy over name; the system's reason on failure.
    // With lock: the writer lock the caller holds on name, let go of just
    // before the replacement where the system cannot rename over a held file.
    bool saveTo(const QString& name, const vm::Progress& progress, QString* error,
                vm::FileLock* lock = nullptr);
    // After Save As: the document is name from now on.
    void renameTo(const QString& name);
    // Loads a type file onto the document. False with the user's message;
    // opened tells whether the file could be opened at all.
    bool loadTypeFile(const QString& path, QString* message, bool* opened = nullptr);
    bool writeTypeFile(const QString& path, QString* error);
    // No data file, no structure.
    void close();
    // Stops the copy at the user's wish. That is no failure: the data file
    // stays shown, read-only (copyCancelled), and the status line says so.
    void cancelCopy();
    // After a cancelled copy: the working copy is made again from the data
    // file. False with the reason when it cannot even begin.
    bool remakeWorkingCopy(QString* error);
    // The program ends: a copy still being made stops, its unfinished file is
    // removed and the document keeps no stream.
    void stopCopy();
    void setDataChanged(bool value);
    void setTypeChanged(bool value);

    // --- options (kept in the type file, but no change of the structure) ---
    void setCanEditData(bool on);
    // Reset or edit structure (exclusive) or neither.
    void setStructureMode(vm::StructMode mode);
    void setIndexView(bool showIndexNum, std::uint8_t positionFormat);

    // --- operations ---
    // Each changes the model in one way, makes its Operation, sets the change
    // marks and announces what changed; one that changes nothing makes none.
    // The current segment (no operation of its own: operations record it).
    void setCurrentSegment(vm::Segment* segment);
    // One segment's own values, changed by edit.
    //
    // With burst (the name of the editor typed into), the change goes on
    // into the step of the same editor's previous keystroke on the same
    // segment until endEditBurst: edit then starts again from the values the
    // burst began with, so that a value passed through while typing (9 and 95
    // on the way to 950) leaves nothing behind, and the burst is one step.
    void changeSegment(vm::Segment& segment, const QString& label,
                       const std::function<void(vm::Segment&)>& edit,
                       const QString& burst = QString());
    // The field descriptions of a segment; edit returns whether it changed
    // them. burst as for changeSegment.
    bool changeFields(vm::Segment& segment, const QString& label,
                      const std::function<bool(vm::Segment&)>& edit,
                      const QString& burst = QString());
    // Typing in an editor has ended (its focus left): the next change is a
    // step of its own.
    void endEditBurst() { m_history.endBurst(); }
    // New Segment (before < 0) and Insert Segment (before: a row): an empty
    // segment, which becomes the current one. No byte moves in either mode.
    vm::Segment* addNewSegment(int before);
    // Delete Segment: in edit mode its bytes leave the file (a rewrite, the
    // segments behind move back), else only its description goes. The one
    // now at its place (or the last) becomes current. False with the reason.
    bool deleteSegment(vm::Segment& segment, const vm::Progress& progress, QString* error);
    // Past Segment: a copy of source before row `before` (appended when
    // negative), in edit mode with a copy of its bytes. It becomes current.
    vm::Segment* pasteSegment(const vm::Segment& source, int before, const vm::Progress& progress,
                              QString* error);
    // Import C Struct and Describe From Data: segment (nullptr: none, the new
    // ones go to the end of the list) gives way to replacement, segments made
    // for the same bytes; replacement's current one (else its first) becomes
    // the current segment. Only descriptions change, whatever the mode.
    vm::Segment* replaceSegment(vm::Segment* segment, const QString& label,
                                vm::SegmentList replacement);
    // The list put in another order by reorder; the first segment becomes current.
    void moveSegments(const QString& label, const std::function<void(vm::SegmentList&)>& reorder);
    // A field action of the structure editor (add, insert, delete, paste,
    // convert): in edit mode a rewrite that moves the bytes too, the segments
    // behind following by its delta; otherwise a change of the descriptions.
    // False when it failed (error says why) or changed nothing.
    using FieldAction =
        std::function<vm::FieldEdit(vm::WorkingFile&, vm::Segment&, const vm::Progress&)>;
    bool fieldAction(vm::Segment& segment, const QString& label, const vm::Progress& progress,
                     const FieldAction& edit, QString* error);
    // The data hint window's kinds.
    void setDataHintFlags(const vm::DataHintFlags& flags);
    // What a rewrite tells: whether it went (else error says why) and whether
    // it changed anything at all.
    struct RewriteResult {
        bool ok = true;
        std::string error;
        bool changed = true;
    };
    using Rewrite =
        std::function<RewriteResult(vm::WorkingFile&, vm::SegmentList&, const vm::Progress&)>;
    // Bytes and structure together: edit builds a new working copy from the
    // current one (the engine's rewrites) and may change the structure; the
    // previous copy stays on disk. Refused while there is no complete working
    // copy. False with the reason in error; nothing changed then.
    bool rewrite(const QString& label, const vm::Progress& progress, const Rewrite& edit,
                 QString* error);
    // A rewrite is under way; its progress lets events run, so the window can
    // be asked to close meanwhile.
    bool changeRunning() const { return m_changeRunning; }
    // The running rewrite stops at its next progress report and fails with
    // "Stopped by the user", leaving the file and the structure as they were.
    void stopRunningChange() { m_stopRequested = m_changeRunning; }

    // --- undo and redo ---
    // The steps recorded since the document was opened (a save is no step).
    bool canUndo() const { return m_history.canUndo() && !copying(); }
    bool canRedo() const { return m_history.canRedo() && !copying(); }
    // The name of the step an undo or a redo would take ("Insert 3 Records
    // in Readings"); empty when there is none.
    QString undoLabel() const;
    QString redoLabel() const;
    std::size_t undoableSteps() const { return m_history.undoableCount(); }
    // Puts the bytes, the structure and the current segment back as they
    // were before the last step done (after the last step undone). The step
    // taken, or nullptr when there was none or it failed (error says why,
    // and nothing changed).
    const Operation* undo(QString* error = nullptr);
    const Operation* redo(QString* error = nullptr);
    // The opening of a document ends with its first structure: nothing
    // before it is a step.
    void startHistory();
    // Disk space the working copies kept for undoing rewrites may take: the
    // setting UndoDiskBudget (MiB) when there is one, else the engine's
    // default for the temporary folder. Tests set their own (bytes; negative:
    // back to the setting).
    std::int64_t undoBudget() const;
    void setUndoBudget(std::int64_t bytes) { m_undoBudget = bytes; }

signals:
    void captionChanged();
    // More of the working copy was made (thousandths).
    void copyProgressChanged(int permille);
    // The working copy is complete; newDocument: it was a data file opened anew.
    void copyFinished(bool newDocument);
    // The copy failed or was stopped; the document still shows its data.
    void copyFailed(const QString& reason);
    // Every operation, once done and announced (the history has recorded it).
    void operationDone(const Operation& operation);
    // What undo and redo would take changed.
    void historyChanged();
    // Kept copies went over the disk budget: the oldest steps were dropped.
    void historyTrimmed(int dropped, int remaining);
    // A line for the main window's status line: something the user should
    // know that needs no answer (a file recovered or copied again, why a
    // change waits, a finished split). Any part of the program may emit it.
    void statusMessage(const QString& text);

private:
    void emptyDocument();
    void applyTypeContent(vm::TypeFileContent&& content, const QString& path);
    // Opens name for the views and starts filling a new working copy of it;
    // the previous document's stream and copy go only once that worked.
    bool beginWorkingCopy(const QString& name, bool newDocument, QString* error);
    void copyProgressed(quint64 run, int permille);
    void copyEnded(quint64 run);
    void finishCopy();
    // Stops a copy being made and removes its unfinished file; the stream the
    // views read stays.
    void dropFill();
    // Records and announces an operation whose change is done: the marks follow.
    void done(Operation&& operation, std::unique_ptr<KeptCopy> kept = nullptr);
    // The change marks as the history says they are now.
    void followHistoryMarks();
    // A keystroke of an editing burst that went on into the last step.
    void continueBurst(UndoHistory::Step& step, Operation&& keystroke);
    // Undo (backwards) or redo.
    const Operation* takeStep(bool backwards, QString* error);
    // Applies a recorded step backwards (undo) or forwards (redo) and
    // announces it; false with error when its bytes could not be written.
    bool applyStep(UndoHistory::Step& step, bool backwards, QString* error);
    // The structure put back as state holds it: the segments in place as far
    // as they go (their views stay), the rest removed or added.
    void restoreStructure(const StructureState& state);
    // The working copies a rewrite replaced: the one it started from is kept
    // for undoing it, the others go at once.
    std::unique_ptr<KeptCopy> takeSuperseded(const std::string& startedFrom);
    // A segment the list got from add; it becomes the current one.
    vm::Segment* insertSegment(const QString& label,
                               const std::function<vm::Segment*(vm::SegmentList&)>& add);
    // The segment that takes the place of the one removed from index.
    vm::Segment* segmentAfterRemoval(std::size_t index);
    std::shared_ptr<const StructureState> structureState() const;
    int currentIndex() const;

    QString m_dataFileName;
    vm::WorkingFile m_work;
    // The copy being made, and which one the reports from its thread are for.
    std::unique_ptr<vm::WorkingFileFill> m_fill;
    quint64 m_fillRun = 0;
    int m_fillPermille = 0;
    bool m_fillIsNewDocument = false;
    bool m_copyCancelled = false;
    // Structure editing rewrites the working copy: put aside while it is made.
    bool m_resumeEditStructure = false;
    // The data file and the type file as last read or written by us.
    vm::FileStamp m_dataStamp;
    QString m_typeStampPath;
    vm::FileStamp m_typeStamp;
    QString m_typeFileName;
    bool m_dataChanged = false;
    bool m_typeChanged = false;
    bool m_gridFillEnabled = false;
    bool m_changeRunning = false;
    bool m_stopRequested = false;
    QString m_installDir;
    QString m_tempDir;
    vm::SegmentList m_segments;
    vm::ViewSettings m_view;
    vm::DataHintFlags m_dataHint{};
    vm::Locale m_locale;
    UndoHistory m_history;
    std::int64_t m_undoBudget = -1;
};

// Paths between Qt and the engine, in the file system's own encoding.
std::string toNative(const QString& path);
QString fromNative(const std::string& path);
