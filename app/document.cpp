#include "document.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <QApplication>
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
#include "segmentedits.h"

std::string toNative(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromNative(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

namespace {

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
    : ModelEvents(parent), m_tempDir(platform::tempDir()), m_locale(systemLocale()) {
    m_installDir = platform::installDir();
    // Positions are shown in hexadecimal until a type file says otherwise.
    m_view.setPositionFormat(1);
    m_view.setShowIndexNum(true);
    // The data hint kinds belong to a structure: none is chosen before one is
    // loaded, and a type file saved from here stores none.
}

Document::~Document() {
    stopCopy();
    // The working copy and every copy kept for undo go with the document.
    m_history.clear();
    vm::discardWorkingFile(m_work);
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

bool Document::changedOnDisk(const QString& path) const {
    if (!m_dataFileName.isEmpty() && path == m_dataFileName)
        return vm::changedSince(m_dataStamp, toNative(path));
    if (!m_typeStampPath.isEmpty() && path == m_typeStampPath)
        return vm::changedSince(m_typeStamp, toNative(path));
    return false;
}

// --- the working copy ---------------------------------------------------------

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
    // The previous document's copy, and what its history kept, are no
    // longer anybody's.
    closeStream();
    m_work.tempDir = made.tempDir;
    m_work.name = made.name;
    m_work.stream = std::move(shown);
    m_copyCancelled = false;
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
    emit copyFailed(QString::fromStdString(m_fill->result().error));
}

// The copy holds the same bytes as the data file the views were reading, and
// it moves into the same stream object: nothing that reads notices the switch.
void Document::finishCopy() {
    const std::int64_t shownSize = m_work.stream.size();
    const vm::FileResult result = m_fill->result();
    m_work.stream = m_fill->takeTarget();
    m_fill.reset();
    m_fillPermille = 1000;
    // What the copy holds is what a later save compares the data file with:
    // a copy made again after another program wrote the file holds that
    // program's bytes, and saving over them asks nothing.
    if (result.source.exists)
        m_dataStamp = result.source;
    emit copyFinished(m_fillIsNewDocument);
    if (m_resumeEditStructure) {
        m_resumeEditStructure = false;
        m_view.setCanEditStructure(true);
        m_view.setCanResetStructure(false);
        emit optionsChanged();
    }
    // Another program changed the file while it was copied: the views showed
    // bytes the copy no longer holds.
    if (result.recopied > 0 || m_work.stream.size() != shownSize) {
        fitSegmentsToData();
        emit documentReplaced();
    }
    emit marksChanged();
    if (result.recopied > 0)
        emit statusMessage(QFileInfo(m_dataFileName).fileName() +
                           QStringLiteral(" was changed by another program while its working copy "
                                          "was made: it was copied again and shows its new "
                                          "contents"));
}

void Document::cancelCopy() {
    if (!m_fill)
        return;
    m_fill->stop();
    // Finished just before the stop: the copy is complete and is kept.
    if (m_fill->result().ok) {
        finishCopy();
        return;
    }
    dropFill();
    m_copyCancelled = true;
    emit marksChanged();
    emit statusMessage(whyDataWaits());
}

bool Document::remakeWorkingCopy(QString* error) {
    if (!m_copyCancelled || m_dataFileName.isEmpty())
        return false;
    const vm::FileStamp stamp = vm::fileStamp(toNative(m_dataFileName));
    // The views go on reading the data file, now through the stream the new
    // copy begins with.
    if (!beginWorkingCopy(m_dataFileName, true, error))
        return false;
    const bool changed = stamp != m_dataStamp;
    m_dataStamp = stamp;
    if (changed) {
        fitSegmentsToData();
        emit documentReplaced();
    }
    emit marksChanged();
    return true;
}

void Document::dropFill() {
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
    m_resumeEditStructure = false;
}

void Document::stopCopy() {
    if (!m_fill)
        return;
    dropFill();
    m_work.stream.close();
}

QString Document::whyDataWaits() const {
    // The file's name: the status line has little room, and the title shows
    // the whole path.
    const QString name = QFileInfo(m_dataFileName).fileName();
    if (copying())
        return QStringLiteral("The working copy of ") + name + QStringLiteral(" is ") +
               QString::number(m_fillPermille / 10) +
               QStringLiteral(" % made: changes wait until it is complete");
    if (m_copyCancelled)
        return name + QStringLiteral(" is read-only because its working copy was cancelled; \"Make "
                                     "Working Copy\" in the File menu makes it again");
    return QString();
}

bool Document::sayWhyDataWaits() {
    const QString why = whyDataWaits();
    if (why.isEmpty())
        return false;
    emit statusMessage(why);
    return true;
}

// --- files --------------------------------------------------------------------

bool Document::openData(const QString& name, QString* error) {
    // The file is stamped before it is copied, so a change made during the
    // copy counts.
    const vm::FileStamp stamp = vm::fileStamp(toNative(name));
    if (!beginWorkingCopy(name, true, error))
        return false;
    m_dataChanged = false;
    m_history.clear(m_dataChanged, m_typeChanged);
    emit historyChanged();
    m_dataFileName = name;
    m_dataStamp = stamp;
    emit captionChanged();
    m_gridFillEnabled = true;
    emit marksChanged();
    return true;
}

void Document::closeStream() {
    const bool hadSteps = m_history.size() > 0;
    m_history.clear(m_dataChanged, m_typeChanged);
    // While a copy is made the stream is the data file itself, read only:
    // that is closed, never deleted.
    if (copying())
        m_work.stream.close();
    else
        vm::discardWorkingFile(m_work);
    if (hadSteps)
        emit historyChanged();
}

bool Document::reopenIfClosed() {
    if (m_dataFileName.isEmpty() || m_work.stream.isOpen())
        return true;
    const vm::FileStamp stamp = vm::fileStamp(toNative(m_dataFileName));
    if (!beginWorkingCopy(m_dataFileName, false, nullptr)) {
        emptyDocument();
        return false;
    }
    m_dataStamp = stamp;
    m_dataChanged = false;
    fitSegmentsToData();
    m_history.clear(m_dataChanged, m_typeChanged);
    emit historyChanged();
    emit documentReplaced();
    emit marksChanged();
    return true;
}

bool Document::saveTo(const QString& name, const vm::Progress& progress, QString* error,
                      vm::FileLock* lock) {
    if (!m_work.stream.isOpen() || !canWriteData()) {
        if (error)
            *error = whyDataWaits();
        return false;
    }
    // Copied from the open stream, never by the working file's name: the
    // name is in a shared folder, the stream is certainly ours.
    vm::ReplaceFile out;
    if (!(out.begin(toNative(name)) && out.copyFrom(m_work.stream, progress) &&
          (lock ? lock->beforeReplace() : void(), out.commit()))) {
        if (error)
            *error = QString::fromStdString(out.error());
        return false;
    }
    if (name == m_dataFileName)
        m_dataStamp = vm::fileStamp(toNative(name));
    return true;
}

void Document::renameTo(const QString& name) {
    m_dataFileName = name;
    m_dataStamp = vm::fileStamp(toNative(name));
    emit captionChanged();
}

// A save (false) is where undoing comes back to unchanged; a change made
// outside the steps (true) leaves no way back to unchanged by undoing.
void Document::setDataChanged(bool value) {
    if (value)
        m_history.markDataUnsaved();
    else
        m_history.markDataSaved();
    if (value == m_dataChanged)
        return;
    m_dataChanged = value;
    emit marksChanged();
}

void Document::fitSegmentsToData() {
    if (!dataStream())
        return;
    std::vector<std::int32_t> lengths;
    for (const auto& seg : m_segments)
        lengths.push_back(seg->length);
    if (!vm::fitToData(m_segments, dataSize()))
        return;
    // Only a new length changes the structure. The record count follows from
    // it (a type file written with none stored is not out of date: every grid
    // counts its records without marking anything).
    std::size_t i = 0;
    bool lengthChanged = false;
    for (const auto& seg : m_segments)
        lengthChanged = lengthChanged || seg->length != lengths[i++];
    // The shipped default structure is laid over any file and follows it:
    // that is nothing to offer to save beside every file viewed with it.
    if (lengthChanged && m_typeFileName != defaultTypeFile()) {
        m_typeChanged = true;
        m_history.markTypeUnsaved();
    }
}

void Document::setTypeChanged(bool value) {
    if (value)
        m_history.markTypeUnsaved();
    else
        m_history.markTypeSaved();
    if (value == m_typeChanged)
        return;
    m_typeChanged = value;
    emit marksChanged();
}

bool Document::loadTypeFile(const QString& path, QString* message, bool* opened) {
    const vm::FileStamp stamp = vm::fileStamp(toNative(path));
    vm::TypeReadResult r = vm::readTypeFile(toNative(path), dataSize());
    if (opened)
        *opened = r.opened;
    if (!r.ok) {
        if (message)
            *message = QString::fromStdString(r.message);
        return false;
    }
    Operation op;
    op.label = QStringLiteral("Load ") + QFileInfo(path).fileName();
    op.currentBefore = currentIndex();
    change::LoadType load{structureState(), nullptr};
    const QString typeFileBefore = m_typeFileName;
    const UndoHistory::SavePoint typeSaveBefore = m_history.typeSave();
    const QString stampPathBefore = m_typeStampPath;
    const vm::FileStamp stampBefore = m_typeStamp;
    applyTypeContent(std::move(r.content), path);
    m_typeStampPath = path;
    m_typeStamp = stamp;
    load.after = structureState();
    op.currentAfter = currentIndex();
    op.change = std::move(load);
    UndoHistory::Step& step = m_history.push(Operation(op));
    // Undoing the load goes back to the type file before it, with its own
    // save point; the loaded file is saved as it stands, unless the data's
    // size changed what it says.
    step.otherType = std::make_unique<UndoHistory::TypeFileSide>(
        UndoHistory::TypeFileSide{typeFileBefore, typeSaveBefore, stampPathBefore, stampBefore});
    if (m_typeChanged)
        m_history.markTypeUnsaved();
    else
        m_history.markTypeSaved();
    // Steps undone before the load are gone, and a data save among them.
    followHistoryMarks();
    emit historyChanged();
    emit operationDone(op);
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
    emit optionsChanged();
    emit dataHintChanged();
    emit captionChanged();
    emit marksChanged();
}

bool Document::writeTypeFile(const QString& path, QString* error) {
    emit aboutToChange();
    const vm::TypeWriteResult r = vm::writeTypeFile(m_segments, m_view, m_dataHint, toNative(path));
    if (!r.ok) {
        if (error)
            *error = fromNative(r.message) + QStringLiteral("\n") +
                     QString::fromStdString(r.systemError);
        return false;
    }
    m_typeStampPath = path;
    m_typeStamp = vm::fileStamp(toNative(path));
    m_typeFileName = path;
    emit captionChanged();
    return true;
}

void Document::close() {
    emptyDocument();
}

void Document::startHistory() {
    m_history.clear(m_dataChanged, m_typeChanged);
    emit historyChanged();
}

void Document::emptyDocument() {
    stopCopy();
    m_copyCancelled = false;
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
    m_history.clear();
    emit historyChanged();
    emit structureReplaced();
    emit optionsChanged();
    emit documentReplaced();
    emit captionChanged();
    emit marksChanged();
}

// --- options ----------------------------------------------------------------------

void Document::setCanEditData(bool on) {
    m_view.setCanEditData(on && dataStream());
    emit optionsChanged();
}

void Document::setStructureMode(vm::StructMode mode) {
    // Without a document neither permission stays on.
    const bool open = isOpen();
    m_view.setCanResetStructure(open && mode == vm::StructMode::Reset);
    m_view.setCanEditStructure(open && mode == vm::StructMode::Edit);
    emit optionsChanged();
}

void Document::setIndexView(bool showIndexNum, std::uint8_t positionFormat) {
    m_view.setShowIndexNum(showIndexNum);
    m_view.setPositionFormat(positionFormat);
    emit optionsChanged();
}

// --- operations ---------------------------------------------------------------------

std::shared_ptr<const StructureState> Document::structureState() const {
    return StructureState::of(m_segments, m_view, m_dataHint);
}

int Document::currentIndex() const {
    return m_segments.indexOf(m_segments.current());
}

void Document::done(Operation&& operation, std::unique_ptr<KeptCopy> kept) {
    operation.currentAfter = currentIndex();
    const Operation announced = operation;
    const bool keeps = kept != nullptr;
    m_history.push(std::move(operation), std::move(kept));
    if (keeps) {
        // Over the budget the oldest steps go, their copies with them.
        const std::size_t dropped = m_history.trimTo(undoBudget());
        if (dropped > 0)
            emit historyTrimmed(static_cast<int>(dropped),
                                static_cast<int>(m_history.undoableCount()));
    }
    followHistoryMarks();
    emit historyChanged();
    emit operationDone(announced);
}

void Document::followHistoryMarks() {
    const bool data = m_history.dataChanged();
    const bool type = m_history.typeChanged();
    if (data == m_dataChanged && type == m_typeChanged)
        return;
    m_dataChanged = data;
    m_typeChanged = type;
    emit marksChanged();
}

void Document::continueBurst(UndoHistory::Step& step, Operation&& keystroke) {
    keystroke.currentAfter = currentIndex();
    bool backAtStart = false;
    if (auto* b = std::get_if<change::Bytes>(&step.op.change)) {
        b->after = std::get<change::Bytes>(keystroke.change).after;
        backAtStart = b->after == b->before;
    } else if (auto* s = std::get_if<change::SegmentValues>(&step.op.change)) {
        const auto& now = std::get<change::SegmentValues>(keystroke.change);
        s->after = now.after;
        backAtStart = s->after->toImage() == s->before->toImage() &&
                      s->after->recordCount == s->before->recordCount;
    } else if (auto* f = std::get_if<change::Fields>(&step.op.change)) {
        f->after = std::get<change::Fields>(keystroke.change).after;
        backAtStart = f->after == f->before;
    }
    step.op.currentAfter = keystroke.currentAfter;
    // Typed back to where the burst began: nothing to undo.
    if (backAtStart)
        m_history.dropLast();
    followHistoryMarks();
    emit historyChanged();
    emit operationDone(keystroke);
}

void Document::setCurrentSegment(vm::Segment* segment) {
    if (segment && m_segments.indexOf(segment) < 0)
        return;
    if (segment == m_segments.current())
        return;
    m_segments.setCurrent(segment);
    emit currentSegmentChanged(segment);
}

bool Document::writeData(std::int64_t offset, std::span<const std::uint8_t> bytes,
                         std::string* error) {
    vm::FileStream* stream = dataStream();
    if (!stream || !canWriteData() || offset < 0 ||
        offset + static_cast<std::int64_t>(bytes.size()) > stream->size()) {
        if (error)
            *error = canWriteData() ? std::string("No File Open") : whyDataWaits().toStdString();
        return false;
    }
    change::Bytes b{offset, std::vector<std::uint8_t>(bytes.size()), {bytes.begin(), bytes.end()}};
    stream->readAt(offset, b.before);
    if (!stream->writeAt(offset, bytes)) {
        if (error)
            *error = stream->lastError();
        return false;
    }
    emit bytesChanged(offset, static_cast<qint64>(bytes.size()));
    Operation op;
    const vm::Segment* current = m_segments.current();
    op.label = current ? QStringLiteral("Edit Cell in ") + segmentTitle(*current)
                       : QStringLiteral("Edit Cell");
    op.currentBefore = currentIndex();
    op.change = std::move(b);
    // The same cell typed into again: the keystrokes are one step.
    const QString cell = QStringLiteral("cell ") + QString::number(offset) + QLatin1Char(':') +
                         QString::number(bytes.size());
    if (UndoHistory::Step* open = m_history.openBurst(cell)) {
        continueBurst(*open, std::move(op));
        return true;
    }
    done(std::move(op));
    m_history.undoStep().burst = cell;
    return true;
}

void Document::changeSegment(vm::Segment& segment, const QString& label,
                             const std::function<void(vm::Segment&)>& edit,
                             const QString& burst) {
    const int index = m_segments.indexOf(&segment);
    if (index < 0)
        return;
    auto before = segmentCopy(segment);
    UndoHistory::Step* open =
        burst.isEmpty() ? nullptr
                        : m_history.openBurst(burst + QLatin1Char(':') + QString::number(index));
    if (open) {
        if (const auto* s = std::get_if<change::SegmentValues>(&open->op.change))
            vm::restoreSegmentValues(segment, *s->before);
        else
            open = nullptr;
    }
    edit(segment);
    // Its count follows the new numbers (a ToFilesEnd segment its length
    // too); a length that runs past the end of the file stays as described.
    if (dataStream())
        vm::countSegmentRecords(segment, dataSize());
    if (segment.toImage() == before->toImage() && segment.recordCount == before->recordCount)
        return;
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    op.change = change::SegmentValues{index, std::move(before), segmentCopy(segment)};
    emit segmentChanged(&segment);
    if (open) {
        continueBurst(*open, std::move(op));
        return;
    }
    done(std::move(op));
    if (!burst.isEmpty())
        m_history.undoStep().burst = burst + QLatin1Char(':') + QString::number(index);
}

bool Document::changeFields(vm::Segment& segment, const QString& label,
                            const std::function<bool(vm::Segment&)>& edit, const QString& burst) {
    const int index = m_segments.indexOf(&segment);
    if (index < 0)
        return false;
    emit aboutToChange();
    std::vector<vm::TypeEntry> before = segment.entries;
    const QString key = burst.isEmpty() ? burst : burst + QLatin1Char(':') + QString::number(index);
    UndoHistory::Step* open = m_history.openBurst(key);
    const auto* base = open ? std::get_if<change::Fields>(&open->op.change) : nullptr;
    if (base)
        segment.entries = base->before;
    const bool edited = edit(segment);
    if (!edited || segment.entries == before) {
        // A keystroke that changes nothing leaves the burst as it stood.
        if (base)
            segment.entries = before;
        return false;
    }
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    op.change = change::Fields{index, std::move(before), segment.entries};
    emit fieldsChanged(&segment);
    if (base) {
        continueBurst(*open, std::move(op));
        return true;
    }
    done(std::move(op));
    if (!key.isEmpty())
        m_history.undoStep().burst = key;
    return true;
}

vm::Segment* Document::insertSegment(const QString& label,
                                     const std::function<vm::Segment*(vm::SegmentList&)>& add) {
    emit aboutToChange();
    const int currentBefore = currentIndex();
    vm::Segment* segment = add(m_segments);
    const int index = m_segments.indexOf(segment);
    if (index < 0)
        return nullptr;
    if (dataStream())
        vm::countSegmentRecords(*segment, dataSize());
    Operation op;
    op.label = label;
    op.currentBefore = currentBefore;
    op.change = change::InsertSegment{index, segmentCopy(*segment)};
    emit segmentInserted(segment);
    m_segments.setCurrent(segment);
    emit currentSegmentChanged(segment);
    done(std::move(op));
    return segment;
}

vm::Segment* Document::segmentAfterRemoval(std::size_t index) {
    if (m_segments.empty())
        return nullptr;
    return &m_segments[std::min(index, m_segments.size() - 1)];
}

vm::Segment* Document::addNewSegment(int before) {
    return insertSegment(
        before < 0 ? QStringLiteral("New Segment") : QStringLiteral("Insert Segment"),
        [&](vm::SegmentList& list) {
            return &vm::addNewSegment(list, dataSize(), structMode() == vm::StructMode::Edit,
                                      before);
        });
}

bool Document::deleteSegment(vm::Segment& segment, const vm::Progress& progress, QString* error) {
    const int index = m_segments.indexOf(&segment);
    if (index < 0)
        return false;
    const QString label = QStringLiteral("Delete Segment ") + segmentTitle(segment);
    if (structMode() == vm::StructMode::Edit && dataStream())
        return rewrite(
            label, progress,
            [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                const vm::FileResult r =
                    vm::deleteSegment(list, static_cast<std::size_t>(index), &wf, p);
                if (r.ok)
                    list.setCurrent(segmentAfterRemoval(static_cast<std::size_t>(index)));
                return RewriteResult{r.ok, r.error};
            },
            error);
    emit aboutToChange();
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    op.change = change::RemoveSegment{index, segmentCopy(segment)};
    emit segmentAboutToBeRemoved(&segment);
    const vm::FileResult r =
        vm::deleteSegment(m_segments, static_cast<std::size_t>(index), nullptr);
    if (!r.ok) {
        if (error)
            *error = QString::fromStdString(r.error);
        return false;
    }
    vm::Segment* next = segmentAfterRemoval(static_cast<std::size_t>(index));
    m_segments.setCurrent(next);
    emit currentSegmentChanged(next);
    done(std::move(op));
    return true;
}

vm::Segment* Document::pasteSegment(const vm::Segment& source, int before,
                                    const vm::Progress& progress, QString* error) {
    if (m_segments.indexOf(&source) < 0)
        return nullptr;
    if (structMode() == vm::StructMode::Edit && dataStream()) {
        vm::Segment* pasted = nullptr;
        rewrite(
            QStringLiteral("Paste Segment ") + segmentTitle(source), progress,
            [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                const vm::PasteResult r = vm::pasteSegment(list, source, before, &wf, p);
                pasted = r.file.ok ? r.segment : nullptr;
                if (pasted)
                    list.setCurrent(pasted);
                return RewriteResult{r.file.ok, r.file.error};
            },
            error);
        return pasted;
    }
    return insertSegment(QStringLiteral("Paste Segment ") + segmentTitle(source),
                         [&](vm::SegmentList& list) {
        const vm::PasteResult r = vm::pasteSegment(list, source, before, nullptr);
        if (!r.file.ok && error)
            *error = QString::fromStdString(r.file.error);
        return r.file.ok ? r.segment : nullptr;
    });
}

bool Document::fieldAction(vm::Segment& segment, const QString& label, const vm::Progress& progress,
                           const FieldAction& edit, QString* error) {
    if (structMode() == vm::StructMode::Edit) {
        bool changed = false;
        const bool ok = rewrite(
            label, progress,
            [&](vm::WorkingFile& wf, vm::SegmentList& list, const vm::Progress& p) {
                const vm::FieldEdit e = edit(wf, segment, p);
                if (e.ok && e.bytesMoved)
                    vm::shiftFollowingSegments(list, segment, e.delta);
                changed = e.changed;
                return RewriteResult{e.ok, e.error, e.changed};
            },
            error);
        return ok && changed;
    }
    vm::FieldEdit result;
    const bool changed = changeFields(segment, label, [&](vm::Segment& s) {
        result = edit(m_work, s, progress);
        return result.ok && result.changed;
    });
    if (!result.ok && error)
        *error = QString::fromStdString(result.error);
    return changed;
}

vm::Segment* Document::replaceSegment(vm::Segment* segment, const QString& label,
                                     vm::SegmentList replacement) {
    const int index = segment ? m_segments.indexOf(segment) : static_cast<int>(m_segments.size());
    if (index < 0 || replacement.empty())
        return nullptr;
    emit aboutToChange();
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    change::ReplaceSegments r;
    r.index = index;
    if (segment) {
        r.before.push_back(segmentCopy(*segment));
        emit segmentAboutToBeRemoved(segment);
        m_segments.take(static_cast<std::size_t>(index)); // its views go with it
    }
    const vm::Segment* chosen = replacement.current() ? replacement.current() : &replacement[0];
    vm::Segment* current = nullptr;
    auto at = static_cast<std::size_t>(index);
    for (auto& s : replacement.items()) {
        const bool isChosen = s.get() == chosen;
        vm::Segment& placed = m_segments.insert(at++, std::move(s));
        // Counted as the grids will count them, so that the operation keeps
        // what the views show.
        if (m_gridFillEnabled && dataStream())
            vm::computeRecordCount(&placed, dataSize());
        r.after.push_back(segmentCopy(placed));
        emit segmentInserted(&placed);
        if (isChosen)
            current = &placed;
    }
    m_segments.setCurrent(current);
    emit currentSegmentChanged(current);
    op.change = std::move(r);
    done(std::move(op));
    return current;
}

void Document::moveSegments(const QString& label,
                            const std::function<void(vm::SegmentList&)>& reorder) {
    emit aboutToChange();
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    change::MoveSegments move{structureState(), nullptr};
    reorder(m_segments);
    m_segments.setCurrent(m_segments.empty() ? nullptr : &m_segments[0]);
    move.after = structureState();
    op.change = std::move(move);
    emit segmentsMoved();
    done(std::move(op));
}

void Document::setDataHintFlags(const vm::DataHintFlags& flags) {
    if (flags == m_dataHint)
        return;
    Operation op;
    op.label = QStringLiteral("Data Hint Setup");
    op.currentBefore = currentIndex();
    op.change = change::DataHint{m_dataHint, flags};
    m_dataHint = flags;
    emit dataHintChanged();
    done(std::move(op));
}

void Document::changeEntry(vm::Segment* segment, int index, const vm::TypeEntry& entry) {
    if (!segment || index < 0 || index >= static_cast<int>(segment->entries.size()))
        return;
    // Typed into a floating editor of an Anomaly grid: one step until it closes.
    changeFields(
        *segment,
        QStringLiteral("Change ") + fieldsTitle(*segment, {static_cast<std::size_t>(index)}),
        [&](vm::Segment& s) {
            s.entries[static_cast<std::size_t>(index)] = entry;
            return true;
        },
        QStringLiteral("entry ") + QString::number(index));
}

bool Document::rewrite(const QString& label, const vm::Progress& progress, const Rewrite& edit,
                       QString* error) {
    if (!dataStream()) {
        if (error)
            *error = QStringLiteral("No File Open");
        return false;
    }
    if (!canWriteData()) {
        if (error)
            *error = whyDataWaits();
        return false;
    }
    emit aboutToChange();
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    change::Rewrite r{m_work.name, {}, structureState(), nullptr};
    m_stopRequested = false;
    m_changeRunning = true;
    // The progress lets events run: closing the window may ask it to stop.
    const vm::Progress stoppable = [&](double fraction) {
        return !m_stopRequested && (!progress || progress(fraction));
    };
    const RewriteResult result = edit(m_work, m_segments, stoppable);
    m_changeRunning = false;
    m_stopRequested = false;
    std::unique_ptr<KeptCopy> previous = takeSuperseded(r.workingFileBefore);
    if (!result.ok) {
        // A change made of several rewrites failed part way: the document
        // goes back to the copy and the structure it started from.
        if (previous) {
            previous->swapWith(m_work);
            restoreStructure(*r.before);
            emit layoutReplaced();
        }
        if (error)
            *error = QString::fromStdString(result.error);
        return false;
    }
    if (!result.changed)
        return true;
    // The file's size changed: the segments that run to its end follow
    // before anything reads them.
    fitSegmentsToData();
    r.workingFileAfter = m_work.name;
    r.after = structureState();
    op.change = std::move(r);
    emit layoutReplaced();
    done(std::move(op), std::move(previous));
    return true;
}

std::unique_ptr<KeptCopy> Document::takeSuperseded(const std::string& startedFrom) {
    std::unique_ptr<KeptCopy> kept;
    for (vm::SupersededCopy& copy : m_work.superseded)
        if (!kept && copy.name == startedFrom && copy.name != m_work.name)
            kept = std::make_unique<KeptCopy>(m_work.tempDir, std::move(copy));
    // Copies in between (a change made of several rewrites) are nobody's.
    vm::removeSupersededCopies(m_work);
    return kept;
}

// --- undo and redo ------------------------------------------------------------------

std::int64_t Document::undoBudget() const {
    if (m_undoBudget >= 0)
        return m_undoBudget;
    bool set = false;
    const qint64 mib = platform::openSettings()->value(QStringLiteral("UndoDiskBudget")).toLongLong(&set);
    if (set && mib >= 0)
        return mib * 1024 * 1024;
    return vm::defaultUndoBudget(toNative(m_tempDir), m_history.keptBytes());
}

QString Document::undoLabel() const {
    return canUndo() ? m_history.undoStep().op.label : QString();
}

QString Document::redoLabel() const {
    return canRedo() ? m_history.redoStep().op.label : QString();
}

const Operation* Document::undo(QString* error) {
    return takeStep(true, error);
}

const Operation* Document::redo(QString* error) {
    return takeStep(false, error);
}

const Operation* Document::takeStep(bool backwards, QString* error) {
    // Asked for at all, it ends any typing burst.
    m_history.endBurst();
    if (!(backwards ? canUndo() : canRedo()))
        return nullptr;
    UndoHistory::Step& step = backwards ? m_history.undoStep() : m_history.redoStep();
    if (!applyStep(step, backwards, error))
        return nullptr;
    if (backwards)
        m_history.stepBack();
    else
        m_history.stepForward();
    followHistoryMarks();
    emit historyChanged();
    return &step.op;
}

void Document::restoreStructure(const StructureState& state) {
    const std::size_t n = state.segments.size();
    for (std::size_t i = 0; i < std::min(n, m_segments.size()); ++i) {
        vm::restoreSegmentValues(m_segments[i], *state.segments[i]);
        m_segments[i].entries = state.segments[i]->entries;
    }
    m_segments.setCurrent(nullptr);
    while (m_segments.size() > n)
        m_segments.take(m_segments.size() - 1); // its views go with it
    for (std::size_t i = m_segments.size(); i < n; ++i)
        m_segments.append(vm::cloneSegment(*state.segments[i]));
    m_segments.setCurrent(state.current >= 0 && static_cast<std::size_t>(state.current) < n
                              ? &m_segments[static_cast<std::size_t>(state.current)]
                              : nullptr);
    m_dataHint = state.dataHint;
}

// applyStep has a way back for each of these kinds; a kind added to
// Operation needs its own there, or its steps would undo nothing.
static_assert(std::variant_size_v<Operation::Change> == 10,
              "a new kind of change needs its undo and redo in Document::applyStep");

bool Document::applyStep(UndoHistory::Step& step, bool backwards, QString* error) {
    const Operation& op = step.op;
    const int current = backwards ? op.currentBefore : op.currentAfter;
    auto segmentAt = [this](int i) -> vm::Segment* {
        return i >= 0 && static_cast<std::size_t>(i) < m_segments.size()
                   ? &m_segments[static_cast<std::size_t>(i)]
                   : nullptr;
    };
    if (op.changesData() && (!canWriteData() || !dataStream())) {
        if (error)
            *error = canWriteData() ? QStringLiteral("No File Open") : whyDataWaits();
        return false;
    }
    emit aboutToChange();
    if (const auto* c = std::get_if<change::Bytes>(&op.change)) {
        const std::vector<std::uint8_t>& bytes = backwards ? c->before : c->after;
        if (!m_work.stream.writeAt(c->offset, bytes)) {
            if (error)
                *error = QString::fromStdString(m_work.stream.lastError());
            return false;
        }
        emit bytesChanged(c->offset, static_cast<qint64>(bytes.size()));
    } else if (const auto* c = std::get_if<change::SegmentValues>(&op.change)) {
        if (vm::Segment* s = segmentAt(c->index)) {
            vm::restoreSegmentValues(*s, backwards ? *c->before : *c->after);
            emit segmentChanged(s);
        }
    } else if (const auto* c = std::get_if<change::Fields>(&op.change)) {
        if (vm::Segment* s = segmentAt(c->index)) {
            s->entries = backwards ? c->before : c->after;
            emit fieldsChanged(s);
        }
    } else if (std::holds_alternative<change::InsertSegment>(op.change) ||
               std::holds_alternative<change::RemoveSegment>(op.change)) {
        const auto* ins = std::get_if<change::InsertSegment>(&op.change);
        const auto* rem = std::get_if<change::RemoveSegment>(&op.change);
        const int index = ins ? ins->index : rem->index;
        // Undoing an insertion, or redoing a removal, takes the segment out.
        if ((ins != nullptr) == backwards) {
            if (vm::Segment* s = segmentAt(index)) {
                emit segmentAboutToBeRemoved(s);
                if (m_segments.current() == s)
                    m_segments.setCurrent(nullptr);
                m_segments.take(static_cast<std::size_t>(index));
            }
        } else {
            const vm::Segment& copy = ins ? *ins->segment : *rem->segment;
            const auto at = std::min(static_cast<std::size_t>(std::max(index, 0)), m_segments.size());
            vm::Segment& added = m_segments.insert(at, vm::cloneSegment(copy));
            emit segmentInserted(&added);
        }
    } else if (const auto* c = std::get_if<change::ReplaceSegments>(&op.change)) {
        // The segments of one side leave the list at index; the other's
        // stand there in their place.
        const auto& leaving = backwards ? c->after : c->before;
        const auto& coming = backwards ? c->before : c->after;
        const auto at = static_cast<std::size_t>(std::max(c->index, 0));
        for (std::size_t n = 0; n < leaving.size() && at < m_segments.size(); ++n) {
            vm::Segment* s = &m_segments[at];
            emit segmentAboutToBeRemoved(s);
            if (m_segments.current() == s)
                m_segments.setCurrent(nullptr);
            m_segments.take(at);
        }
        auto to = std::min(at, m_segments.size());
        for (const auto& copy : coming) {
            vm::Segment& added = m_segments.insert(to++, vm::cloneSegment(*copy));
            emit segmentInserted(&added);
        }
    } else if (const auto* c = std::get_if<change::MoveSegments>(&op.change)) {
        restoreStructure(backwards ? *c->before : *c->after);
        emit segmentsMoved();
    } else if (const auto* c = std::get_if<change::Rewrite>(&op.change)) {
        // A switch of files: the other side's copy was kept open for this.
        if (step.kept)
            step.kept->swapWith(m_work);
        restoreStructure(backwards ? *c->before : *c->after);
        emit layoutReplaced();
    } else if (const auto* c = std::get_if<change::DataHint>(&op.change)) {
        m_dataHint = backwards ? c->before : c->after;
        emit dataHintChanged();
    } else if (const auto* c = std::get_if<change::LoadType>(&op.change)) {
        const StructureState& state = backwards ? *c->before : *c->after;
        emit structureAboutToBeCleared();
        m_segments.setCurrent(nullptr);
        vm::clearSegments(m_segments);
        restoreStructure(state);
        // The permissions stay as the user has them now; the rest of the
        // settings came with the type file.
        const vm::ViewSettings now = m_view;
        m_view = state.view;
        m_view.setCanEditData(now.canEditData());
        m_view.setCanResetStructure(now.canResetStructure());
        m_view.setCanEditStructure(now.canEditStructure());
        if (UndoHistory::TypeFileSide* other = step.otherType.get()) {
            std::swap(m_typeFileName, other->file);
            std::swap(m_history.typeSave(), other->save);
            std::swap(m_typeStampPath, other->stampPath);
            std::swap(m_typeStamp, other->stamp);
        }
        emit structureReplaced();
        emit optionsChanged();
        emit dataHintChanged();
        emit captionChanged();
    }
    vm::Segment* target = segmentAt(current);
    if (target != m_segments.current()) {
        m_segments.setCurrent(target);
        emit currentSegmentChanged(target);
    }
    return true;
}
