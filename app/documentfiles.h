#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class Document;
class QWidget;

// The File menu's work around the document: the questions before a document
// goes or a file is overwritten, opening and saving with their dialogs and
// messages, and the recent lists kept in the settings between runs. The
// document itself asks nothing.
class DocumentFiles : public QObject {
    Q_OBJECT
public:
    enum class RecentList { Files, Types };
    static constexpr int kRecentMax = 4;

    DocumentFiles(Document& doc, QWidget* dialogParent);

    // A data file with the type file beside it (or the default one); a .type
    // path opens its data file.
    bool openDataWithType(const QString& path);
    bool openDataFile(const QString& name);
    // The save questions; false means cancel.
    bool confirmSaveChanges();
    bool saveDataFileTo(const QString& name);
    bool readTypeFile(const QString& path);
    bool writeTypeFile(const QString& path);

    // --- the commands of the File menu ---
    void openFileCommand();
    void newFileCommand();
    void openInNewWindowCommand();
    void saveFileCommand();
    void saveAsCommand();
    void saveAllCommand();
    void closeAllCommand();
    // After the user cancelled the working copy: it is made again.
    void remakeWorkingCopyCommand();
    void openTypeCommand();
    void saveTypeCommand();
    void saveTypeAsCommand();
    void useDefaultTypeCommand();
    void replaceDefaultTypeCommand();

    // The recent lists, the latest last.
    const QStringList& recentFiles() const { return m_recentFiles; }
    const QStringList& recentTypes() const { return m_recentTypes; }
    void addRecentName(RecentList list, const QString& path);
    void loadSettings();
    void saveSettings() const;

signals:
    void recentListsChanged();

private:
    // The copy failed or was stopped: the document closes, as an open that
    // failed does, and says why.
    void copyFailed(const QString& reason);
    // Completes or undoes a pair save that was interrupted (path: a data file
    // or its type file) and says so on the status line.
    void settlePendingCommit(const QString& path);
    // Writes the working copy over name (asking first when another program
    // changed it); messages on failure.
    bool saveWorkingCopyTo(const QString& name);
    // Yes/No when path changed on disk since the document last read or wrote
    // it; true when it may be written.
    bool confirmOverwriteChanged(const QString& path);
    bool askToSaveType(bool withCancel, bool* cancelled);

    Document& m_doc;
    QWidget* m_dialogParent;
    QStringList m_recentFiles;
    QStringList m_recentTypes;
};

// True when the data may change now; otherwise says why on the status line
// and returns false.
bool requireWorkingCopy(Document& doc);
// True when data is open; otherwise says "No File Open" and returns false.
bool requireData(const Document& doc, QWidget* parent);
