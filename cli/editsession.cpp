#include "editsession.h"

#include <filesystem>
#include <limits>
#include <system_error>

#ifdef _WIN32
#include "platformfile.h"
#else
#include <unistd.h>
#endif

#include "atomicfile.h"
#include "commands.h"
#include "cp1252.h"
#include "inputfiles.h"
#include "model.h"

namespace vmcli {

EditSession::~EditSession() {
    removeWorkingFile();
}

void EditSession::removeWorkingFile() {
    if (m_copyName == m_wf.name)
        m_copyName.clear();
    vm::discardWorkingFile(m_wf);
    // A rewrite leaves the first copy behind, closed. Once let go, another
    // instance may have taken that name for its own working file; such a
    // file stays.
    if (!m_copyName.empty() && !vm::isFileInUse(m_copyName)) {
#ifdef _WIN32
        vm::win::removeFile(m_copyName);
#else
        ::unlink(m_copyName.c_str());
#endif
    }
    m_copyName.clear();
}

std::optional<int> EditSession::open(const std::string& dataFile, const std::string& typeFile) {
    m_dataFile = dataFile;
    m_typeFile = typeFile;
    const std::int64_t size = vm::fileSize(dataFile);
    if (size < 0 || !vm::fileExists(dataFile))
        return fail("Cannot open data file " + dataFile);
    if (size > std::numeric_limits<std::int32_t>::max())
        return fail(dataFile + " is 2 GiB or larger: the structure can only describe files "
                               "smaller than 2 GiB (2147483648 bytes)");
    if (!vm::fileExists(typeFile))
        return fail("Type file not found: " + typeFile);
    vm::TypeReadResult r = vm::readTypeFile(typeFile, size);
    if (!r.ok)
        return fail(vm::cp1252ToUtf8(r.message));
    m_content = std::move(r.content);
    m_wf.tempDir = vm::systemTempFolder();
    std::string error;
    if (!vm::makeWorkingCopy(m_wf, dataFile, &error))
        return fail("Cannot copy " + dataFile + ": " + error);
    m_copyName = m_wf.name;
    // The counts as the program shows them once the file is open.
    for (auto& seg : m_content.segments)
        vm::computeRecordCount(seg.get(), m_wf.stream.size());
    return std::nullopt;
}

vm::Segment* EditSession::findSegment(const std::string& arg, std::string& error) {
    return findSegmentArg(m_content.segments, arg, error);
}

int EditSession::save() {
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
    if (!vm::commitBoth(data, type, &error))
        return fail("Cannot write " + error);
    return 0;
}

} // namespace vmcli
