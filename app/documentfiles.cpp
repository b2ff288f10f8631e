#include "documentfiles.h"

#include <QFileInfo>
#include <QSettings>

#include "atomicfile.h"
#include "codec.h"
#include "document.h"
#include "filelock.h"
#include "paircommit.h"
#include "platform.h"
#include "progresswindow.h"
#include "prompter.h"

namespace {

const QString kTypeFilter = QStringLiteral("type files (*.type);;All files (*.*)");

QString recentKey(int i) {
    return QStringLiteral("recent") + QString::number(i);
}

} // namespace

bool requireWorkingCopy(Document& doc) {
    return !doc.sayWhyDataWaits();
}

bool requireData(const Document& doc, QWidget* parent) {
    if (doc.dataStream())
        return true;
    prompter().inform(parent, QStringLiteral("No File Open"));
    return false;
}

DocumentFiles::DocumentFiles(Document& doc, QWidget* dialogParent)
    : QObject(&doc), m_doc(doc), m_dialogParent(dialogParent) {
    connect(&doc, &Document::copyFailed, this, &DocumentFiles::copyFailed);
    connect(&doc, &Document::copyFinished, this, [this](bool newDocument) {
        if (newDocument)
            addRecentName(RecentList::Files, m_doc.dataFileName());
    });
}

// --- opening ---------------------------------------------------------------------

bool DocumentFiles::openDataWithType(const QString& path) {
    const vm::DataTypePair pair = vm::pairDataAndType(toNative(path));
    const QString dataFile = fromNative(pair.dataFile);
    const QString typeFile = fromNative(pair.typeFile);
    if (!openDataFile(dataFile))
        return false;
    if (QFileInfo::exists(typeFile))
        readTypeFile(typeFile);
    else if (QFileInfo::exists(m_doc.defaultTypeFile()))
        readTypeFile(m_doc.defaultTypeFile());
    // Its first structure is part of opening the file, not a step to undo.
    m_doc.startHistory();
    emit m_doc.documentReplaced();
    emit m_doc.captionChanged();
    return true;
}

bool DocumentFiles::openDataFile(const QString& name) {
    if (!confirmSaveChanges())
        return false;
    // What the status line said was about the document that goes.
    emit m_doc.statusMessage(QString());
    const QFileInfo info(name);
    QString refusal;
    bool asError = true;
    if (!info.exists()) {
        refusal = QStringLiteral("File ") + name + QStringLiteral(" is not exit!");
        asError = false;
    } else if (info.isFile() && info.size() >= Document::kMaxDataFileSize) {
        refusal = QStringLiteral("File ") + name +
                  QStringLiteral(" is 2 GiB or larger. Vellomarque can only open data files "
                                 "smaller than 2 GiB (2147483648 bytes).");
    } else {
        settlePendingCommit(name);
        QString err;
        if (m_doc.openData(name, &err))
            return true;
        refusal = QStringLiteral("File  ") + name + QStringLiteral(" Open Error\n") + err;
    }
    if (asError)
        prompter().error(m_dialogParent, refusal);
    else
        prompter().inform(m_dialogParent, refusal);
    m_doc.reopenIfClosed();
    return false;
}

void DocumentFiles::settlePendingCommit(const QString& path) {
    // A pair save another program was killed in is finished, or undone,
    // before either file is read.
    if (const vm::CommitRecovery r = vm::recoverPendingCommit(toNative(path)); !r.message.empty())
        emit m_doc.statusMessage(fromNative(r.message));
}

void DocumentFiles::copyFailed(const QString& reason) {
    const QString name = m_doc.dataFileName();
    m_doc.stopCopy();
    // Structure changes made meanwhile are not dropped without asking.
    if (m_doc.typeChanged())
        askToSaveType(false, nullptr);
    m_doc.close();
    prompter().error(m_dialogParent,
                     QStringLiteral("File  ") + name + QStringLiteral(" Open Error\n") + reason);
}

// --- save questions and saving ---------------------------------------------------

bool DocumentFiles::askToSaveType(bool withCancel, bool* cancelled) {
    const QString typePath = m_doc.dataFileName() + QStringLiteral(".type");
    const auto a = prompter().ask(
        m_dialogParent, QStringLiteral("Warning"),
        QStringLiteral(" Do You Want Save The TypeFile to  ") + typePath + QStringLiteral(" ?"),
        withCancel ? Prompter::Buttons::YesNoCancel : Prompter::Buttons::YesNo);
    if (cancelled)
        *cancelled = a == Prompter::Answer::Cancel;
    return a != Prompter::Answer::Yes || writeTypeFile(typePath);
}

bool DocumentFiles::confirmSaveChanges() {
    // A document whose working copy was cancelled has no working file, but a
    // structure changed meanwhile is still asked about.
    if (m_doc.dataFileName().isEmpty())
        return true;
    if (m_doc.typeChanged()) {
        bool cancelled = false;
        // A structure that could not be written is not dropped silently.
        if (!askToSaveType(true, &cancelled) || cancelled)
            return false;
        // "Save Type File" goes off even when the data question is cancelled.
        m_doc.setTypeChanged(false);
    }
    if (!m_doc.dataChanged())
        return true;
    const auto a = prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                                  m_doc.dataFileName() + QStringLiteral("  Is Change,  Save It ?"),
                                  Prompter::Buttons::YesNoCancel);
    if (a == Prompter::Answer::Cancel)
        return false;
    // A failed or declined save keeps the changes in the working copy, still open.
    if (a == Prompter::Answer::Yes && !saveWorkingCopyTo(m_doc.dataFileName()))
        return false;
    m_doc.closeStream();
    m_doc.setDataChanged(false);
    return true;
}

bool DocumentFiles::confirmOverwriteChanged(const QString& path) {
    if (!m_doc.changedOnDisk(path))
        return true;
    return prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                          QStringLiteral("The file ") + path +
                              QStringLiteral(" was changed by another program since it was "
                                             "opened.\nOverwrite it?")) == Prompter::Answer::Yes;
}

bool DocumentFiles::saveWorkingCopyTo(const QString& name) {
    if (!m_doc.dataStream() || !requireWorkingCopy(m_doc))
        return false;
    // One writer at a time, from the check below to the replacement.
    vm::FileLock lock;
    if (!lock.acquire(toNative(name))) {
        prompter().error(m_dialogParent, lock.busy() ? fromNative(lock.error())
                                                     : name + QStringLiteral(": ") +
                                                           QString::fromStdString(lock.error()));
        return false;
    }
    // Another program (or instance) may have written the file since it was
    // opened or last saved: not overwritten without asking.
    if (!confirmOverwriteChanged(name))
        return false;
    QString error;
    bool saved = false;
    {
        // Gone before any message: a modal progress window left on top would
        // take the clicks meant for the error box.
        ProgressWindow progress(m_dialogParent, QStringLiteral("Saving ") + name);
        saved = m_doc.saveTo(name, progress.callback(), &error, &lock);
    }
    if (!saved)
        prompter().error(m_dialogParent, name + QStringLiteral(": ") + error);
    return saved;
}

bool DocumentFiles::saveDataFileTo(const QString& name) {
    if (m_doc.dataFileName().isEmpty() || !saveWorkingCopyTo(name))
        return false;
    m_doc.setDataChanged(false);
    return true;
}

// --- type files --------------------------------------------------------------------

bool DocumentFiles::readTypeFile(const QString& path) {
    settlePendingCommit(path);
    QString message;
    bool opened = false;
    const bool ok = m_doc.loadTypeFile(path, &message, &opened);
    if (opened)
        addRecentName(RecentList::Types, path);
    if (!ok)
        prompter().inform(m_dialogParent, message);
    return ok;
}

bool DocumentFiles::writeTypeFile(const QString& path) {
    // Writers of the data file and its type file as a pair keep out meanwhile.
    vm::FileLock lock;
    if (!m_doc.dataFileName().isEmpty() && !lock.acquire(toNative(m_doc.dataFileName()))) {
        prompter().error(m_dialogParent, fromNative(lock.error()));
        return false;
    }
    // The type file as it was loaded or last written may have been changed
    // by someone else in the meantime.
    if (!confirmOverwriteChanged(path))
        return false;
    QString error;
    if (!m_doc.writeTypeFile(path, &error)) {
        prompter().error(m_dialogParent, error);
        return false;
    }
    return true;
}

// --- recent lists ------------------------------------------------------------------

void DocumentFiles::addRecentName(RecentList which, const QString& path) {
    QStringList& list = which == RecentList::Files ? m_recentFiles : m_recentTypes;
    int found = -1;
    for (int i = 0; i < list.size(); ++i)
        if (list[i].compare(path, Qt::CaseInsensitive) == 0)
            found = i;
    if (found < 0) {
        list.append(path);
        while (list.size() > kRecentMax)
            list.removeFirst();
    } else {
        list.move(found, list.size() - 1);
    }
    emit recentListsChanged();
}

void DocumentFiles::loadSettings() {
    const auto s = platform::openSettings();
    for (const auto& [group, list] : {std::pair{QStringLiteral("recent/file"), &m_recentFiles},
                                      std::pair{QStringLiteral("recent/type"), &m_recentTypes}}) {
        list->clear();
        s->beginGroup(group);
        for (int i = 0; i < kRecentMax; ++i) {
            const QString v = s->value(recentKey(i)).toString();
            if (!v.isEmpty())
                list->append(v);
        }
        s->endGroup();
    }
    emit recentListsChanged();
}

void DocumentFiles::saveSettings() const {
    const auto s = platform::openSettings();
    for (const auto& [group, list] : {std::pair{QStringLiteral("recent/file"), &m_recentFiles},
                                      std::pair{QStringLiteral("recent/type"), &m_recentTypes}}) {
        s->beginGroup(group);
        for (int i = 0; i < list->size(); ++i)
            s->setValue(recentKey(i), list->at(i));
        s->endGroup();
    }
    s->sync();
}

// --- commands ------------------------------------------------------------------------

void DocumentFiles::openFileCommand() {
    if (!confirmSaveChanges())
        return;
    const QString name =
        prompter().openFileName(m_dialogParent, QStringLiteral("Open File"), QString());
    if (name.isEmpty()) {
        m_doc.reopenIfClosed();
        return;
    }
    m_doc.setDataChanged(false);
    m_doc.setTypeChanged(false);
    openDataWithType(name);
}

void DocumentFiles::newFileCommand() {
    const auto text = prompter().inputText(m_dialogParent, QStringLiteral("New File"),
                                           QStringLiteral("File Length"), QStringLiteral("0"));
    if (!text)
        return;
    const std::int64_t size = vm::parseInteger(text->toStdString()).value_or(-111);
    if (size < 0) {
        prompter().inform(m_dialogParent, QStringLiteral("File Size Must Not Less Zero"));
        return;
    }
    if (size >= Document::kMaxDataFileSize) {
        prompter().inform(m_dialogParent,
                          QStringLiteral("File Size Must Be Less Than 2 GiB (2147483648 bytes)"));
        return;
    }
    const QString name =
        prompter().saveFileName(m_dialogParent, QStringLiteral("New File"), QString());
    if (name.isEmpty())
        return;
    if (!prompter().mayReplace(m_dialogParent, name, QStringLiteral("Warning ! "),
                               name + QStringLiteral("  is Exist, Over Write it?")))
        return;
    // Replaced only once the new file is complete, like every other save.
    vm::ReplaceFile out;
    if (!out.begin(toNative(name)) || !out.stream().truncate(size) || !out.commit()) {
        const std::string why = out.error().empty() ? out.stream().lastError() : out.error();
        prompter().error(m_dialogParent, name + QStringLiteral(": ") + QString::fromStdString(why));
        return;
    }
    openDataWithType(name);
}

void DocumentFiles::openInNewWindowCommand() {
    const QString name = prompter().openFileName(
        m_dialogParent, QStringLiteral("Open File in New Window"), QString());
    if (name.isEmpty())
        return;
    if (!QFileInfo::exists(name)) {
        prompter().inform(m_dialogParent, name + QStringLiteral(" File is not exist!"));
        return;
    }
    platform::startNewInstance(name);
}

void DocumentFiles::saveFileCommand() {
    saveDataFileTo(m_doc.dataFileName());
}

void DocumentFiles::saveAsCommand() {
    // Refused before the user picks a name for nothing.
    if (!requireWorkingCopy(m_doc))
        return;
    const QString name =
        prompter().saveFileName(m_dialogParent, QStringLiteral("Save As"), QString());
    if (name.isEmpty())
        return;
    if (!prompter().mayReplace(m_dialogParent, name, QStringLiteral("Warning "),
                               QStringLiteral("Are You Sure  ") + name +
                                   QStringLiteral("  is exit replace it ?")))
        return;
    if (saveDataFileTo(name))
        m_doc.renameTo(name);
}

void DocumentFiles::saveAllCommand() {
    // A read-only document holds nothing the data file does not: its
    // structure is all there is to save.
    if (m_doc.copyCancelled()) {
        saveTypeCommand();
        return;
    }
    // Half a "Save All" would be a surprise: nothing is written until both can be.
    if (!requireWorkingCopy(m_doc))
        return;
    saveFileCommand();
    saveTypeCommand();
}

void DocumentFiles::remakeWorkingCopyCommand() {
    emit m_doc.statusMessage(QString()); // "read-only" is over
    QString error;
    if (!m_doc.remakeWorkingCopy(&error) && !error.isEmpty())
        prompter().error(m_dialogParent, QStringLiteral("File  ") + m_doc.dataFileName() +
                                             QStringLiteral(" Open Error\n") + error);
}

void DocumentFiles::closeAllCommand() {
    if (!confirmSaveChanges())
        return;
    m_doc.close();
    emit m_doc.statusMessage(QString());
}

void DocumentFiles::openTypeCommand() {
    const QString name =
        prompter().openFileName(m_dialogParent, QStringLiteral("Open Type File"), kTypeFilter);
    if (name.isEmpty())
        return;
    if (readTypeFile(name))
        emit m_doc.documentReplaced();
}

void DocumentFiles::saveTypeCommand() {
    if (!m_doc.dataFileName().isEmpty() &&
        !writeTypeFile(m_doc.dataFileName() + QStringLiteral(".type")))
        return; // the structure is still unsaved: keep its mark
    m_doc.setTypeChanged(false);
    emit m_doc.captionChanged();
}

void DocumentFiles::saveTypeAsCommand() {
    QString name =
        prompter().saveFileName(m_dialogParent, QStringLiteral("Save Type File As"), kTypeFilter);
    if (name.isEmpty())
        return;
    name = fromNative(vm::withTypeExtension(toNative(name)));
    if (!prompter().mayReplace(m_dialogParent, name, QStringLiteral("Warning"),
                               QStringLiteral("Are You Sure ") + name +
                                   QStringLiteral(" Is Exist Replace It ?")))
        return;
    writeTypeFile(name);
}

void DocumentFiles::useDefaultTypeCommand() {
    if (readTypeFile(m_doc.defaultTypeFile()))
        emit m_doc.documentReplaced();
}

void DocumentFiles::replaceDefaultTypeCommand() {
    if (prompter().ask(
            m_dialogParent, QStringLiteral("Warning"),
            QStringLiteral(
                "You Select replace default Type File With Current Type, Are You Sure? ")) ==
        Prompter::Answer::Yes)
        writeTypeFile(m_doc.defaultTypeFile());
}
