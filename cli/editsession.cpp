#include "editsession.h"

#include <iostream>
#include <limits>

#include "atomicfile.h"
#include "commands.h"
#include "cp1252.h"
#include "inputfiles.h"
#include "model.h"

namespace vmcli {

EditSession::~EditSession() {
    // The working copy and whatever the edit's rewrites left behind.
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
    const std::int64_t size = vm::fileSize(dataFile);
    if (size < 0)
        return fail("Cannot open data file " + dataFile);
    if (size > std::numeric_limits<std::int32_t>::max())
        return fail(dataFile + " is 2 GiB or larger: the structure can only describe files "
                               "smaller than 2 GiB (2147483648 bytes)");
    vm::TypeReadResult r = vm::readTypeFile(typeFile, size);
    if (!r.ok)
        return fail(vm::cp1252ToUtf8(r.message));
    m_content = std::move(r.content);
    m_wf.tempDir = vm::systemTempFolder();
    // Copies that killed commands or instances left, nobody holding them.
    vm::removeLeftoverWorkingFiles(m_wf.tempDir);
    std::string error;
    if (!vm::makeWorkingCopy(m_wf, dataFile, &error))
        return fail("Cannot copy " + dataFile + ": " + error);
    // The counts as the program shows them once the file is open.
    vm::fitToFilesEnd(m_content.segments, m_wf.stream.size());
    for (auto& seg : m_content.segments)
        vm::computeRecordCount(seg.get(), m_wf.stream.size());
    return std::nullopt;
}

vm::Segment* EditSession::findSegment(const std::string& arg, std::string& error) {
    return findSegmentArg(m_content.segments, arg, error);
}

int EditSession::save() {
    // The edit may have changed the file's size: the stored structure follows.
    vm::fitToFilesEnd(m_content.segments, m_wf.stream.size());
    vm::ReplaceFile data;
    vm::ReplaceFile type;
    if (!data.begin(m_dataFile))
        return fail("Cannot write " + m_dataFile + ": " + data.error());
    if (!data.copyFrom(m_wf.stream))
        return fail("Cannot write " + m_dataFile + ": " + data.error());
    if (!type.begin(m_typeFile))
        return fail("Cannot write " + m_typeFile + ": " + type.error());
    const std::string image =
        vm::typeFileImage(m_content.segments, m_content.settings, m_content.dataHint);
    if (!type.stream().writeAt(0,
                               {reinterpret_cast<const std::uint8_t*>(image.data()), image.size()}))
        return fail("Cannot write " + m_typeFile + ": " + type.stream().lastError());
    std::string error;
    bool refused = false;
    if (!m_edit.commit(data, type, &error, &refused))
        return fail(refused ? error : "Cannot write " + error);
    m_edit.end();
    return 0;
}

} // namespace vmcli
