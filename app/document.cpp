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
    m_dataFileName = name;
    m_dataStamp = stamp;
    emit captionChanged();
    m_gridFillEnabled = true;
    emit marksChanged();
    return true;
}

void Document::closeStream() {
    m_work.stream.close();
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

void Document::setDataChanged(bool value) {
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
    if (lengthChanged && m_typeFileName != defaultTypeFile())
        m_typeChanged = true;
}

void Document::setTypeChanged(bool value) {
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
    op.label = QStringLiteral("Load Type File");
    op.currentBefore = currentIndex();
    change::LoadType load{structureState(), nullptr};
    applyTypeContent(std::move(r.content), path);
    m_typeStampPath = path;
    m_typeStamp = stamp;
    load.after = structureState();
    op.currentAfter = currentIndex();
    op.change = std::move(load);
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

void Document::done(Operation&& operation) {
    operation.currentAfter = currentIndex();
    if (operation.changesData())
        setDataChanged(true);
    if (operation.changesStructure())
        setTypeChanged(true);
    emit operationDone(operation);
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
    op.label = QStringLiteral("Edit Cell");
    op.currentBefore = currentIndex();
    op.change = std::move(b);
    done(std::move(op));
    return true;
}

void Document::changeSegment(vm::Segment& segment, const QString& label,
                             const std::function<void(vm::Segment&)>& edit) {
    const int index = m_segments.indexOf(&segment);
    if (index < 0)
        return;
    auto before = segmentCopy(segment);
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
    done(std::move(op));
}

bool Document::changeFields(vm::Segment& segment, const QString& label,
                            const std::function<bool(vm::Segment&)>& edit) {
    const int index = m_segments.indexOf(&segment);
    if (index < 0)
        return false;
    emit aboutToChange();
    std::vector<vm::TypeEntry> before = segment.entries;
    if (!edit(segment) || segment.entries == before)
        return false;
    Operation op;
    op.label = label;
    op.currentBefore = currentIndex();
    op.change = change::Fields{index, std::move(before), segment.entries};
    emit fieldsChanged(&segment);
    done(std::move(op));
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
    const QString label = QStringLiteral("Delete Segment");
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
            QStringLiteral("Past Segment"), progress,
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
    return insertSegment(QStringLiteral("Past Segment"), [&](vm::SegmentList& list) {
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
    changeFields(*segment, QStringLiteral("Change Field"), [&](vm::Segment& s) {
        s.entries[static_cast<std::size_t>(index)] = entry;
        return true;
    });
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
    if (!result.ok) {
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
    done(std::move(op));
    return true;
}
