#include "gridtesthost.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

TestHost::TestHost() {
    m_path = (m_dir.path() + QStringLiteral("/work.bin")).toStdString();
    m_view.setPositionFormat(1);
}

TestHost::~TestHost() {
    // Views first, while the pane that owns their widgets still exists.
    for (auto& s : m_segments)
        s->views.reset();
}

void TestHost::createFile(const std::vector<std::uint8_t>& bytes) {
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    m_stream.open(m_path, vm::FileStream::Mode::ReadWrite);
}

void TestHost::createSparseFile(std::int64_t size) {
    const int fd = ::open(m_path.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
    if (fd >= 0) {
        if (::ftruncate(fd, size) != 0) {
        }
        ::close(fd);
    }
    m_stream.open(m_path, vm::FileStream::Mode::ReadWrite);
}

std::vector<std::uint8_t> TestHost::fileBytes() const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(m_stream.size()));
    m_stream.readAt(0, out);
    return out;
}

vm::Segment& TestHost::addSegment(std::int32_t begin, std::int32_t length,
                                  std::int32_t recordLength, bool anomaly) {
    auto s = std::make_unique<vm::Segment>();
    s->begin = begin;
    s->length = length;
    s->recordLength = recordLength;
    s->anomaly = anomaly;
    s->anomalyColumnWidths = {150, 70, 50, 50, 150};
    s->setName("Seg" + std::to_string(m_segments.size() + 1));
    vm::Segment& seg = m_segments.append(std::move(s));
    if (!m_segments.current())
        m_segments.setCurrent(&seg);
    return seg;
}

bool TestHost::writeData(std::int64_t offset, std::span<const std::uint8_t> bytes,
                         std::string* error) {
    if (!m_stream.writeAt(offset, bytes)) {
        *error = m_stream.lastError();
        return false;
    }
    dataChanged = true;
    emit m_events.bytesChanged(offset, static_cast<qint64>(bytes.size()));
    return true;
}

void TestHost::changeEntry(vm::Segment* segment, int index, const vm::TypeEntry& entry) {
    segment->entries[static_cast<std::size_t>(index)] = entry;
    typeChanged = true;
    ++definitionChanges;
    emit m_events.fieldsChanged(segment);
}

void TestHost::selectSegment(vm::Segment* segment) {
    m_segments.setCurrent(segment);
    emit m_events.currentSegmentChanged(segment);
}
