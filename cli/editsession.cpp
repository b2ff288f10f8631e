#include "editsession.h"

#include <iostream>
#include <limits>

#include "commands.h"
#include "cp1252.h"
#include "inputfiles.h"
#include "model.h"

namespace vmcli {

namespace {

// The whole of a small file as it is on disk; nothing when it cannot be read.
std::optional<std::string> fileBytes(const std::string& path) {
    vm::FileStream f;
    if (!f.open(path, vm::FileStream::Mode::Read))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(f.size()), '\0');
    if (!f.readExact(0, {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()}))
        return std::nullopt;
    return bytes;
}

} // namespace

EditSession::~EditSession() {
    // Whatever the edit's stream is, it is closed before the replacement it
    // may be goes (Windows removes no open file); a working copy a second
    // rewrite made is removed.
    vm::discardWorkingFile(m_wf);
}

std::optional<int> EditSession::open(const std::string& dataFile, const std::string& typeFile) {
    m_dataFile = dataFile;
    m_typeFile = typeFile;
    if (!vm::fileExists(dataFile))
        return fail("Cannot open data file " + dataFile);
    if (!vm::fileExists(typeFile))
        return fail("Type file not found: " + typeFile);
    // Held from here until the new pair is in place (or the edit ends).
    std::string notice;
    const bool locked = m_edit.begin(dataFile, typeFile, &notice);
    if (!notice.empty())
        std::cerr << notice << '\n';
    if (!locked)
        return fail(m_edit.error());
    if (!m_wf.stream.open(dataFile, vm::FileStream::Mode::Read))
        return fail("Cannot open data file " + dataFile + ": " + m_wf.stream.lastError());
    const std::int64_t size = m_wf.stream.size();
    if (size > std::numeric_limits<std::int32_t>::max())
        return fail(dataFile + " is 2 GiB or larger: the structure can only describe files "
                               "smaller than 2 GiB (2147483648 bytes)");
    vm::TypeReadResult r = vm::readTypeFile(typeFile, size);
    if (!r.ok)
        return fail(vm::cp1252ToUtf8(r.message));
    m_content = std::move(r.content);
    m_sourceId = vm::fileId(m_wf.stream);
    m_wf.tempDir = vm::systemTempFolder();
    // Copies that killed commands or instances left, nobody holding them.
    vm::removeLeftoverWorkingFiles(m_wf.tempDir);
    // The rewrite writes the data file's replacement, not a working copy; it
    // is made only then, so that a refused edit touches nothing at all.
    m_wf.rewriteTarget = [this](vm::FileStream& out, std::string& name, std::string& error) {
        if (!m_data.begin(m_dataFile)) {
            error = "Cannot write " + m_dataFile + ": " + m_data.error();
            return false;
        }
        out = std::move(m_data.stream());
        name = m_dataFile;
        return true;
    };
    m_wf.rewriteReplacesSource = true;
    // The counts as the program shows them once the file is open.
    vm::fitToFilesEnd(m_content.segments, size);
    for (auto& seg : m_content.segments)
        vm::computeRecordCount(seg.get(), size);
    return std::nullopt;
}

vm::Segment* EditSession::findSegment(const std::string& arg, std::string& error) {
    return findSegmentArg(m_content.segments, arg, error);
}

bool EditSession::dataUnchanged() const {
    // A file that cannot say what it is counts as changed: written, never lost.
    const std::optional<vm::FileId> now = vm::fileId(m_wf.stream);
    return now && m_sourceId && *now == *m_sourceId;
}

int EditSession::unchanged() {
    m_edit.end();
    std::cerr << "Nothing to change: " << m_dataFile << " and " << m_typeFile
              << " were not written\n";
    return 0;
}

int EditSession::save() {
    // The edit may have changed the file's size: the stored structure follows.
    vm::fitToFilesEnd(m_content.segments, m_wf.stream.size());
    const std::string image =
        vm::typeFileImage(m_content.segments, m_content.settings, m_content.dataHint);
    const bool sameData = dataUnchanged();
    if (sameData && fileBytes(m_typeFile) == image)
        return unchanged();
    if (!sameData) {
        if (m_wf.name.empty()) {
            // The rewrite wrote the replacement itself.
            m_data.stream() = std::move(m_wf.stream);
        } else if (!m_data.begin(m_dataFile) || !m_data.copyFrom(m_wf.stream)) {
            // A later rewrite of the same edit went to a working copy.
            return fail("Cannot write " + m_dataFile + ": " + m_data.error());
        }
    }
    vm::ReplaceFile type;
    if (!type.begin(m_typeFile))
        return fail("Cannot write " + m_typeFile + ": " + type.error());
    if (!type.stream().writeAt(0,
                               {reinterpret_cast<const std::uint8_t*>(image.data()), image.size()}))
        return fail("Cannot write " + m_typeFile + ": " + type.stream().lastError());
    std::string error;
    bool refused = false;
    const bool done = sameData ? m_edit.commitType(type, &error, &refused)
                               : m_edit.commit(m_data, type, &error, &refused);
    if (!done)
        return fail(refused ? error : "Cannot write " + error);
    m_edit.end();
    return 0;
}

} // namespace vmcli
