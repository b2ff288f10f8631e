#include "document.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QTimer>

#include "atomicfile.h"
#include "codec.h"
#include "filelock.h"
#include "filestream.h"
#include "paircommit.h"
#include "model.h"
#include "platform.h"
#include "progresswindow.h"
#include "prompter.h"

std::string toNative(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromNative(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

namespace {

const QString kTypeFilter = QStringLiteral("type files (*.type);;All files (*.*)");

// The first character of a Qt date or time format that is no field letter.
std::optional<char> formatSeparator(const QString& format) {
    for (const QChar c : format) {
        if (c.isLetter() || c.isSpace() || c == QLatin1Char('\''))
            continue;
        if (c.unicode() < 128)
            return static_cast<char>(c.unicode());
        return std::nullopt;
    }
    return std::nullopt;
}

// The user's decimal separator, date order and separators. Years always keep
// four digits and months and days two, so that an edited date never loses
// its century.
vm::Locale systemLocale() {
    vm::Locale loc;
    const QLocale sys = QLocale::system();
    if (sys.language() == QLocale::C)
        return loc; // no preference: the program's own formats
    const QString point = sys.decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 128 && point.at(0) != QLatin1Char(' '))
        loc.decimalSeparator = static_cast<char>(point.at(0).unicode());
    const QString date = sys.dateFormat(QLocale::ShortFormat);
    if (const auto sep = formatSeparator(date); sep && *sep != loc.decimalSeparator)
        loc.dateSeparator = *sep;
    const qsizetype y = date.indexOf(QLatin1Char('y'));
    const qsizetype m = date.indexOf(QLatin1Char('M'));
    const qsizetype d = date.indexOf(QLatin1Char('d'));
    if (y >= 0 && m >= 0 && d >= 0) {
        std::vector<std::pair<qsizetype, std::string>> parts = {{y, "yyyy"}, {m, "mm"}, {d, "dd"}};
        std::sort(parts.begin(), parts.end());
        loc.shortDate = parts[0].second + "/" + parts[1].second + "/" + parts[2].second;
    }
    if (const auto sep = formatSeparator(sys.timeFormat(QLocale::LongFormat));
        sep && *sep != loc.decimalSeparator && *sep != loc.dateSeparator)
        loc.timeSeparator = *sep;
    return loc;
}

} // namespace

Document::Document(QObject* parent)
    : QObject(parent), m_tempDir(platform::tempDir()), m_locale(systemLocale()) {
    m_installDir = platform::installDir();
    // Positions are shown in hexadecimal until a type file says otherwise.
    m_view.setPositionFormat(1);
    m_view.setShowIndexNum(true);
    m_dataHint.fill(true);
}

Document::~Document() {
    stopCopy();
}

QString Document::workingFileName() const {
    return fromNative(m_work.name);
}

vm::FileStream* Document::dataStream() {
    return m_work.stream.isOpen() ? &m_work.stream : nullptr;
}

const vm::FileStream* Document::dataStream() const {
    return m_work.stream.isOpen() ? &m_work.stream : nullptr;
}

std::int64_t Document::dataSize() const {
    const auto* s = dataStream();
    return s ? std::max<std::int64_t>(0, s->size()) : 0;
}

QString Document::defaultTypeFile() const {
    return fromNative(vm::defaultTypeFilePath(toNative(m_installDir)));
}

QString Document::captionText() const {
    return fromNative(vm::captionText(toNative(m_dataFileName), toNative(m_typeFileName),
                                      toNative(defaultTypeFile())));
}

// --- opening ---------------------------------------------------------------

bool Document::openDataWithType(const QString& path) {
    const vm::DataTypePair pair = vm::pairDataAndType(toNative(path));
    const QString dataFile = fromNative(pair.dataFile);
    const QString typeFile = fromNative(pair.typeFile);
    if (!openDataFile(dataFile))
        return false;
    if (QFileInfo::exists(typeFile))
        readTypeFile(typeFile);
    else if (QFileInfo::exists(defaultTypeFile()))
        readTypeFile(defaultTypeFile());
    emit documentReplaced();
    emit captionChanged();
    return true;
}

// The views read the data file from the first moment, through a stream of
// their own; the working copy is filled from another on a thread of its own.
// The previous document is replaced only once both are there.
bool Document::beginWorkingCopy(const QString& name, bool newDocument, QString* error) {
    vm::FileStream shown;
    vm::FileStream source;
    vm::WorkingFile made;
    made.tempDir = toNative(m_tempDir);
    const std::string path = toNative(name);
    std::string err;
    const bool ready = [&] {
        if (!shown.open(path, vm::FileStream::Mode::Read)) {
            err = shown.lastError();
            return false;
        }
        if (!source.open(path, vm::FileStream::Mode::Read)) {
            err = source.lastError();
            return false;
        }
        if (!vm::sameOpenFile(shown, source)) {
            err = "The file was replaced while it was opened";
            return false;
        }
        // Created, locked and held before the copy starts, and never let go
        // between the copy and its use: another instance cannot take it.
        return vm::createWorkingFile(made, &err);
    }();
    if (!ready) {
        if (error)
            *error = QString::fromStdString(err);
        return false;
    }

    stopCopy();
    m_work.tempDir = made.tempDir;
    m_work.name = made.name;
    m_work.stream = std::move(shown);
    m_fillPermille = 0;
    m_fillIsNewDocument = newDocument;
    const quint64 run = ++m_fillRun;
    // Reports come from the filling thread; they are handed to this one.
    vm::Progress progress = [this, run, last = -1](double fraction) mutable {
        const int permille = static_cast<int>(fraction * 1000);
        if (permille != last) {
            last = permille;
            QMetaObject::invokeMethod(
                this, [this, run, permille] { copyProgressed(run, permille); },
                Qt::QueuedConnection);
        }
        return true;
    };
    auto ended = [this, run] {
        QMetaObject::invokeMethod(
            this, [this, run] { copyEnded(run); }, Qt::QueuedConnection);
    };
    m_fill = std::make_unique<vm::WorkingFileFill>(std::move(made.stream), std::move(source),
                                                   std::move(progress), std::move(ended));
    // Structure editing would rewrite a copy that is not there yet.
    m_resumeEditStructure = m_view.canEditStructure();
    if (m_resumeEditStructure) {
        m_view.setCanEditStructure(false);
        emit optionsChanged();
    }
    return true;
}

void Document::copyProgressed(quint64 run, int permille) {
    if (run != m_fillRun || !m_fill)
        return;
    m_fillPermille = permille;
    emit copyProgressChanged(permille);
}

void Document::copyEnded(quint64 run) {
    if (run != m_fillRun || !m_fill)
        return;
    m_fill->wait();
    if (m_fill->result().ok) {
        finishCopy();
        return;
    }
    // Closing the document under a dialog or a menu would pull the data from
    // under the command that opened it: that waits until the user is done.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        QTimer::singleShot(100, this, [this, run] { copyEnded(run); });
        return;
    }
    failCopy(QString::fromStdString(m_fill->result().error));
}

// The copy holds the same bytes as the data file the views were reading, and
// it moves into the same stream object: nothing that reads notices the switch.
void Document::finishCopy() {
    const std::int64_t shownSize = m_work.stream.size();
    m_work.stream = m_fill->takeTarget();
    m_fill.reset();
    m_fillPermille = 1000;
    if (m_fillIsNewDocument)
        addRecentName(RecentList::Files, m_dataFileName);
    if (m_resumeEditStructure) {
        m_resumeEditStructure = false;
        m_view.setCanEditStructure(true);
        m_view.setCanResetStructure(false);
        emit optionsChanged();
    }
    // Another program changed the file's size while it was copied.
    if (m_work.stream.size() != shownSize) {
        fitSegmentsToData();
        emit documentReplaced();
    }
    emit actionStatesChanged(true);
}

// A copy that failed or was cancelled closes the document, as an open that
// failed does, and says why.
void Document::failCopy(const QString& reason) {
    const QString name = m_dataFileName;
    stopCopy();
    // Structure changes made meanwhile are not dropped without asking.
    if (m_typeChanged) {
        const QString typePath = name + QStringLiteral(".type");
        if (prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                           QStringLiteral(" Do You Want Save The TypeFile to  ") + typePath +
                               QStringLiteral(" ?"),
                           Prompter::Buttons::YesNo) == Prompter::Answer::Yes)
            writeTypeFile(typePath);
    }
    emptyDocument();
    prompter().error(m_dialogParent,
                     QStringLiteral("File  ") + name + QStringLiteral(" Open Error\n") + reason);
}

void Document::cancelCopy() {
    if (!m_fill)
        return;
    m_fill->stop();
    // Finished just before the stop: the copy is complete and is kept.
    if (m_fill->result().ok)
        finishCopy();
    else
        failCopy(QString::fromStdString(m_fill->result().error));
}

void Document::stopCopy() {
    if (!m_fill)
        return;
    m_fill->stop();
    vm::WorkingFile half;
    half.tempDir = m_work.tempDir;
    half.name = m_work.name;
    half.stream = m_fill->takeTarget();
    vm::discardWorkingFile(half);
    m_fill.reset();
    m_work.name.clear();
    m_work.stream.close();
    m_resumeEditStructure = false;
}

QString Document::copyRunningText() const {
    return QStringLiteral("The working copy of ") + m_dataFileName +
           QStringLiteral(" is still being made: changes to the data wait until it is complete.");
}

bool Document::requireWorkingCopy(QWidget* parent) {
    if (!copying())
        return true;
    prompter().inform(parent ? parent : m_dialogParent, copyRunningText());
    return false;
}

bool Document::openDataFile(const QString& name) {
    if (!confirmSaveChanges())
        return false;
    const QFileInfo info(name);
    if (!info.exists()) {
        prompter().inform(m_dialogParent,
                          QStringLiteral("File ") + name + QStringLiteral(" is not exit!"));
        reopenAfterQuestions();
        return false;
    }
    if (info.isFile() && info.size() >= kMaxDataFileSize) {
        prompter().error(m_dialogParent,
                         QStringLiteral("File ") + name +
                             QStringLiteral(" is 2 GiB or larger. Vellomarque can only open data "
                                            "files smaller than 2 GiB (2147483648 bytes)."));
        reopenAfterQuestions();
        return false;
    }
    // A pair save another program was killed in is finished, or undone,
    // before the file is read.
    if (const vm::CommitRecovery r = vm::recoverPendingCommit(toNative(name)); !r.message.empty())
        prompter().inform(m_dialogParent, fromNative(r.message));
    // The file is stamped before it is copied, so a change made during the
    // copy counts.
    const vm::FileStamp stamp = vm::fileStamp(toNative(name));
    QString err;
    if (!beginWorkingCopy(name, true, &err)) {
        prompter().error(m_dialogParent,
                         QStringLiteral("File  ") + name + QStringLiteral(" Open Error\n") + err);
        reopenAfterQuestions();
        return false;
    }
    m_dataChanged = false;
    m_dataFileName = name;
    m_dataStamp = stamp;
    emit captionChanged();
    m_gridFillEnabled = true;
    emit actionStatesChanged(true);
    return true;
}

void Document::closeStream() {
    m_work.stream.close();
}

// The save questions may have closed the stream of a document that then stays:
// it is opened again on a fresh copy of its data file, which holds exactly what
// the user chose to keep.
bool Document::reopenAfterQuestions() {
    if (m_dataFileName.isEmpty() || m_work.stream.isOpen())
        return true;
    const vm::FileStamp stamp = vm::fileStamp(toNative(m_dataFileName));
    if (!beginWorkingCopy(m_dataFileName, false, nullptr)) {
        emptyDocument();
        return false;
    }
    m_dataStamp = stamp;
    m_dataChanged = false;
    emit documentReplaced();
    emit actionStatesChanged(true);
    return true;
}

// --- save questions and saving -----------------------------------------------

bool Document::confirmSaveChanges() {
    if (m_work.name.empty() || m_dataFileName.isEmpty())
        return true;
    if (m_typeChanged) {
        const QString typePath = m_dataFileName + QStringLiteral(".type");
        const auto a = prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                                      QStringLiteral(" Do You Want Save The TypeFile to  ") +
                                          typePath + QStringLiteral(" ?"),
                                      Prompter::Buttons::YesNoCancel);
        if (a == Prompter::Answer::Cancel)
            return false;
        // A structure that could not be written is not dropped silently.
        if (a == Prompter::Answer::Yes && !writeTypeFile(typePath))
            return false;
        m_typeChanged = false;
        // "Save Type File" goes off even when the data question is cancelled.
        emit actionStatesChanged(false);
    }
    if (!m_dataChanged)
        return true;
    const auto a = prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                                  m_dataFileName + QStringLiteral("  Is Change,  Save It ?"),
                                  Prompter::Buttons::YesNoCancel);
    if (a == Prompter::Answer::Cancel)
        return false;
    // A failed or declined save keeps the changes in the working copy, still open.
    if (a == Prompter::Answer::Yes && !saveWorkingCopyTo(m_dataFileName))
        return false;
    closeStream();
    m_dataChanged = false;
    return true;
}

bool Document::confirmOverwriteChanged(const QString& path, const vm::FileStamp& stamp) {
    if (!vm::changedSince(stamp, toNative(path)))
        return true;
    return prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                          QStringLiteral("The file ") + path +
                              QStringLiteral(" was changed by another program since it was "
                                             "opened.\nOverwrite it?")) == Prompter::Answer::Yes;
}

bool Document::saveWorkingCopyTo(const QString& name) {
    if (!m_work.stream.isOpen() || !requireWorkingCopy(m_dialogParent))
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
    const bool sameFile = name == m_dataFileName;
    if (sameFile && !confirmOverwriteChanged(name, m_dataStamp))
        return false;
    // Copied from the open stream, never by the working file's name: the
    // name is in a shared folder, the stream is certainly ours.
    vm::ReplaceFile out;
    bool saved = false;
    {
        // Gone before any message: a modal progress window left on top would
        // take the clicks meant for the error box.
        ProgressWindow progress(m_dialogParent, QStringLiteral("Saving ") + name);
        saved = out.begin(toNative(name)) && out.copyFrom(m_work.stream, progress.callback()) &&
                (lock.beforeReplace(), out.commit());
    }
    if (!saved) {
        prompter().error(m_dialogParent,
                         name + QStringLiteral(": ") + QString::fromStdString(out.error()));
        return false;
    }
    if (sameFile)
        m_dataStamp = vm::fileStamp(toNative(name));
    return true;
}

bool Document::saveDataFileTo(const QString& name) {
    if (m_dataFileName.isEmpty() || !saveWorkingCopyTo(name))
        return false;
    setDataChanged(false, false);
    return true;
}

void Document::setDataChanged(bool value, bool refreshPanel) {
    if (value == m_dataChanged)
        return;
    m_dataChanged = value;
    emit actionStatesChanged(refreshPanel);
}

void Document::fitSegmentsToData() {
    if (!dataStream() || !vm::fitToFilesEnd(m_segments, dataSize()))
        return;
    // The shipped default structure is laid over any file and follows it:
    // that is nothing to offer to save beside every file viewed with it.
    if (m_typeFileName != defaultTypeFile())
        m_typeChanged = true;
}

void Document::markStructureChanged() {
    m_typeChanged = true;
    emit actionStatesChanged(false);
}

// --- recent lists ----------------------------------------------------------

void Document::addRecentName(RecentList which, const QString& path) {
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

static QString recentKey(int i) {
    return QStringLiteral("recent") + QString::number(i);
}

void Document::loadSettings() {
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
    m_showSegList = s->value(QStringLiteral("showSegList"), true).toBool();
    m_showTypeCtrl = s->value(QStringLiteral("showTypeCtrl"), true).toBool();
    emit recentListsChanged();
}

void Document::saveSettings() const {
    const auto s = platform::openSettings();
    for (const auto& [group, list] : {std::pair{QStringLiteral("recent/file"), &m_recentFiles},
                                      std::pair{QStringLiteral("recent/type"), &m_recentTypes}}) {
        s->beginGroup(group);
        for (int i = 0; i < list->size(); ++i)
            s->setValue(recentKey(i), list->at(i));
        s->endGroup();
    }
    s->setValue(QStringLiteral("showSegList"), m_showSegList ? 1 : 0);
    s->setValue(QStringLiteral("showTypeCtrl"), m_showTypeCtrl ? 1 : 0);
    s->sync();
}

// --- type files ------------------------------------------------------------

bool Document::readTypeFile(const QString& path) {
    const vm::FileStamp stamp = vm::fileStamp(toNative(path));
    vm::TypeReadResult r = vm::readTypeFile(toNative(path), dataSize());
    if (r.opened)
        addRecentName(RecentList::Types, path);
    if (!r.ok) {
        prompter().inform(m_dialogParent, QString::fromStdString(r.message));
        return false;
    }
    applyTypeContent(std::move(r.content), path);
    m_typeStampPath = path;
    m_typeStamp = stamp;
    return true;
}

void Document::applyTypeContent(vm::TypeFileContent&& content, const QString& path) {
    emit structureAboutToBeCleared();
    m_segments.setCurrent(nullptr);
    vm::clearSegments(m_segments);
    if (content.legacy) {
        for (int i = 0; i < 4; ++i)
            m_view.bytes[i] = 1;
        m_view.setCanEditStructure(false);
    } else {
        m_view = content.settings;
        m_view.setCanEditStructure(false);
    }
    m_dataHint = content.dataHint;
    for (auto& seg : content.segments.items())
        m_segments.append(std::move(seg));
    m_segments.setCurrent(m_segments.empty() ? nullptr : &m_segments[0]);
    m_typeFileName = path;
    m_typeChanged = false;
    fitSegmentsToData();
    m_resumeEditStructure = false; // a loaded structure starts without editing
    emit structureReplaced();
    emit captionChanged();
    emit actionStatesChanged(true);
}

bool Document::writeTypeFile(const QString& path) {
    // Writers of the data file and its type file as a pair keep out meanwhile.
    vm::FileLock lock;
    if (!m_dataFileName.isEmpty() && !lock.acquire(toNative(m_dataFileName))) {
        prompter().error(m_dialogParent, fromNative(lock.error()));
        return false;
    }
    // The type file as it was loaded or last written may have been changed
    // by someone else in the meantime.
    if (path == m_typeStampPath && !confirmOverwriteChanged(path, m_typeStamp))
        return false;
    emit aboutToWriteTypeFile();
    const vm::TypeWriteResult r = vm::writeTypeFile(m_segments, m_view, m_dataHint, toNative(path));
    if (!r.ok) {
        prompter().error(m_dialogParent, fromNative(r.message) + QStringLiteral("\n") +
                                             QString::fromStdString(r.systemError));
        return false;
    }
    m_typeStampPath = path;
    m_typeStamp = vm::fileStamp(toNative(path));
    m_typeFileName = path;
    emit captionChanged();
    return true;
}

// --- commands --------------------------------------------------------------

void Document::openFileCommand() {
    if (!confirmSaveChanges())
        return;
    const QString name =
        prompter().openFileName(m_dialogParent, QStringLiteral("Open File"), QString());
    if (name.isEmpty()) {
        reopenAfterQuestions();
        return;
    }
    m_dataChanged = false;
    m_typeChanged = false;
    openDataWithType(name);
}

void Document::newFileCommand() {
    const auto text = prompter().inputText(m_dialogParent, QStringLiteral("New File"),
                                           QStringLiteral("File Length"), QStringLiteral("0"));
    if (!text)
        return;
    const std::int64_t size = vm::parseInteger(text->toStdString()).value_or(-111);
    if (size < 0) {
        prompter().inform(m_dialogParent, QStringLiteral("File Size Must Not Less Zero"));
        return;
    }
    if (size >= kMaxDataFileSize) {
        prompter().inform(m_dialogParent,
                          QStringLiteral("File Size Must Be Less Than 2 GiB (2147483648 bytes)"));
        return;
    }
    const QString name =
        prompter().saveFileName(m_dialogParent, QStringLiteral("New File"), QString());
    if (name.isEmpty())
        return;
    if (QFileInfo::exists(name) &&
        prompter().ask(m_dialogParent, QStringLiteral("Warning ! "),
                       name + QStringLiteral("  is Exist, Over Write it?")) !=
            Prompter::Answer::Yes)
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

void Document::openInNewWindowCommand() {
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

void Document::saveFileCommand() {
    saveDataFileTo(m_dataFileName);
}

void Document::saveAsCommand() {
    // Refused before the user picks a name for nothing.
    if (!requireWorkingCopy(m_dialogParent))
        return;
    const QString name =
        prompter().saveFileName(m_dialogParent, QStringLiteral("Save As"), QString());
    if (name.isEmpty())
        return;
    if (QFileInfo::exists(name) &&
        prompter().ask(m_dialogParent, QStringLiteral("Warning "),
                       QStringLiteral("Are You Sure  ") + name +
                           QStringLiteral("  is exit replace it ?")) != Prompter::Answer::Yes)
        return;
    if (saveDataFileTo(name)) {
        m_dataFileName = name;
        m_dataStamp = vm::fileStamp(toNative(name));
        emit captionChanged();
    }
}

void Document::saveAllCommand() {
    // Half a "Save All" would be a surprise: nothing is written until both can be.
    if (!requireWorkingCopy(m_dialogParent))
        return;
    saveFileCommand();
    saveTypeCommand();
}

void Document::emptyDocument() {
    stopCopy();
    emit structureAboutToBeCleared();
    m_segments.setCurrent(nullptr);
    vm::clearSegments(m_segments);
    closeStream();
    m_dataFileName.clear();
    m_typeFileName.clear();
    m_view.setCanResetStructure(false);
    m_view.setCanEditData(false);
    m_view.setCanEditStructure(false);
    m_dataChanged = false;
    m_typeChanged = false;
    emit structureReplaced();
    emit documentReplaced();
    emit captionChanged();
    emit actionStatesChanged(true);
}

void Document::closeAllCommand() {
    if (!confirmSaveChanges())
        return;
    emptyDocument();
}

void Document::openTypeCommand() {
    const QString name =
        prompter().openFileName(m_dialogParent, QStringLiteral("Open Type File"), kTypeFilter);
    if (name.isEmpty())
        return;
    if (readTypeFile(name))
        emit documentReplaced();
}

void Document::saveTypeCommand() {
    if (!m_dataFileName.isEmpty() && !writeTypeFile(m_dataFileName + QStringLiteral(".type")))
        return; // the structure is still unsaved: keep its mark
    m_typeChanged = false;
    emit actionStatesChanged(true);
    emit captionChanged();
}

void Document::saveTypeAsCommand() {
    QString name =
        prompter().saveFileName(m_dialogParent, QStringLiteral("Save Type File As"), kTypeFilter);
    if (name.isEmpty())
        return;
    name = fromNative(vm::withTypeExtension(toNative(name)));
    if (QFileInfo::exists(name) &&
        prompter().ask(m_dialogParent, QStringLiteral("Warning"),
                       QStringLiteral("Are You Sure ") + name +
                           QStringLiteral(" Is Exist Replace It ?")) != Prompter::Answer::Yes)
        return;
    writeTypeFile(name);
}

void Document::useDefaultTypeCommand() {
    if (readTypeFile(defaultTypeFile()))
        emit documentReplaced();
}

void Document::replaceDefaultTypeCommand() {
    if (prompter().ask(
            m_dialogParent, QStringLiteral("Warning"),
            QStringLiteral(
                "You Select replace default Type File With Current Type, Are You Sure? ")) ==
        Prompter::Answer::Yes)
        writeTypeFile(defaultTypeFile());
}
