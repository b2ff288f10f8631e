#pragma once

#include <cstdint>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "kinds.h"
#include "segment.h"
#include "textlocale.h"
#include "typefile.h"
#include "workingfile.h"

class QWidget;

// The one open document of the program: the data file, its working copy in the
// temporary folder, the structure loaded from a type file, the change marks and
// the recent lists. The main window owns it and shows what it says.
class Document : public QObject {
    Q_OBJECT
public:
    enum class RecentList { Files, Types };
    static constexpr int kRecentMax = 4;
    // The model keeps 32-bit offsets, so larger files cannot be described.
    static constexpr std::int64_t kMaxDataFileSize = std::int64_t{1} << 31;

    explicit Document(QObject* parent = nullptr);
    ~Document() override;

    // Parent of the dialogs the document shows.
    void setDialogParent(QWidget* w) { m_dialogParent = w; }

    // --- state ---
    const QString& dataFileName() const { return m_dataFileName; }
    QString workingFileName() const;
    const QString& typeFileName() const { return m_typeFileName; }
    // The working copy open for reading and writing; nullptr without one.
    // While the copy is still being made it is the data file itself, open for
    // reading only: the views show it at once, and the object stays the same
    // when the finished copy takes its place, so no reader is left holding a
    // stream that went away.
    vm::FileStream* dataStream();
    const vm::FileStream* dataStream() const;
    // The working copy with its stream, for the rewrites that replace it.
    // Not while copying(): the stream is then the read-only data file.
    vm::WorkingFile& workingFile() { return m_work; }
    // The working copy is still being filled on its own thread: the data
    // cannot change until it is complete.
    bool copying() const { return m_fill != nullptr; }
    // Share of the working copy made, in thousandths.
    int copyProgress() const { return m_fillPermille; }
    // Why the data cannot change while the copy is made.
    QString copyRunningText() const;
    // True when the data may change; otherwise says why and returns false.
    bool requireWorkingCopy(QWidget* parent);
    bool isOpen() const { return !m_dataFileName.isEmpty(); }
    bool dataChanged() const { return m_dataChanged; }
    bool typeChanged() const { return m_typeChanged; }
    bool gridFillEnabled() const { return m_gridFillEnabled; }
    void setGridFillEnabled(bool v) { m_gridFillEnabled = v; }
    const QString& installDir() const { return m_installDir; }
    void setInstallDir(const QString& dir) { m_installDir = dir; }
    const QString& tempDir() const { return m_tempDir; }
    void setTempDir(const QString& dir) { m_tempDir = dir; }
    QString defaultTypeFile() const;
    const QStringList& recentFiles() const { return m_recentFiles; }
    const QStringList& recentTypes() const { return m_recentTypes; }
    bool showSegList() const { return m_showSegList; }
    bool showTypeCtrl() const { return m_showTypeCtrl; }
    void setShowSegList(bool v) { m_showSegList = v; }
    void setShowTypeCtrl(bool v) { m_showTypeCtrl = v; }

    vm::SegmentList& segments() { return m_segments; }
    const vm::SegmentList& segments() const { return m_segments; }
    vm::ViewSettings& viewSettings() { return m_view; }
    const vm::ViewSettings& viewSettings() const { return m_view; }
    vm::DataHintFlags& dataHintFlags() { return m_dataHint; }
    const vm::Locale& locale() const { return m_locale; }
    // Size of the working copy, 0 without one.
    std::int64_t dataSize() const;

    // --- operations ---
    bool openDataWithType(const QString& path);
    bool openDataFile(const QString& name);
    // The save questions; false means cancel.
    bool confirmSaveChanges();
    bool saveDataFileTo(const QString& name);
    void setDataChanged(bool value, bool refreshPanel);
    // The structure editor changed the structure.
    void markStructureChanged();
    // Every ToFilesEnd segment runs to the end of the data file: called when
    // a structure meets the data, after the data's size changed and after a
    // structure change. A stored value it changes marks the structure changed
    // unless it is the default type file's (no signal: the caller announces
    // the change).
    void fitSegmentsToData();
    void addRecentName(RecentList list, const QString& path);
    bool readTypeFile(const QString& path);
    bool writeTypeFile(const QString& path);
    QString captionText() const;

    // --- commands ---
    void openFileCommand();
    void newFileCommand();
    void openInNewWindowCommand();
    void saveFileCommand();
    void saveAsCommand();
    void saveAllCommand();
    void closeAllCommand();
    // Stops the copy at the user's wish: the document closes as an open that
    // failed does.
    void cancelCopy();
    // The program ends: a copy still being made stops, its unfinished file is
    // removed and the document keeps no stream.
    void stopCopy();
    void openTypeCommand();
    void saveTypeCommand();
    void saveTypeAsCommand();
    void useDefaultTypeCommand();
    void replaceDefaultTypeCommand();

    void loadSettings();
    void saveSettings() const;

signals:
    // The enabled states of the actions must be recomputed.
    void actionStatesChanged(bool refreshPanel);
    void captionChanged();
    void recentListsChanged();
    // The segments are about to be released with their views.
    void structureAboutToBeCleared();
    // A type file was loaded (or the structure emptied): views and options must follow.
    void structureReplaced();
    // A data file was opened or closed: the grids must be laid out again.
    void documentReplaced();
    // The grids hand their column widths to the model before a type file is written.
    void aboutToWriteTypeFile();
    // More of the working copy was made (thousandths).
    void copyProgressChanged(int permille);
    // The options changed without a type file being loaded.
    void optionsChanged();

private:
    void closeStream();
    bool reopenAfterQuestions();
    void emptyDocument();
    void applyTypeContent(vm::TypeFileContent&& content, const QString& path);
    // Opens name for the views and starts filling a new working copy of it;
    // the previous document's stream and copy go only once that worked.
    bool beginWorkingCopy(const QString& name, bool newDocument, QString* error);
    void copyProgressed(quint64 run, int permille);
    void copyEnded(quint64 run);
    void finishCopy();
    void failCopy(const QString& reason);
    // Writes the working copy over name (asking first when name is the data
    // file and another program changed it); messages on failure.
    bool saveWorkingCopyTo(const QString& name);
    // Yes/No when path changed on disk since stamp; true when it may be written.
    bool confirmOverwriteChanged(const QString& path, const vm::FileStamp& stamp);

    QWidget* m_dialogParent = nullptr;
    QString m_dataFileName;
    vm::WorkingFile m_work;
    // The copy being made, and which one the reports from its thread are for.
    std::unique_ptr<vm::WorkingFileFill> m_fill;
    quint64 m_fillRun = 0;
    int m_fillPermille = 0;
    bool m_fillIsNewDocument = false;
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
    QString m_installDir;
    QString m_tempDir;
    QStringList m_recentFiles;
    QStringList m_recentTypes;
    bool m_showSegList = true;
    bool m_showTypeCtrl = true;
    vm::SegmentList m_segments;
    vm::ViewSettings m_view;
    vm::DataHintFlags m_dataHint{};
    vm::Locale m_locale;
};

// Paths between Qt and the engine, in the file system's own encoding.
std::string toNative(const QString& path);
QString fromNative(const std::string& path);
