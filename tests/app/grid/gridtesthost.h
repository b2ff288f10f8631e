#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "entries.h"
#include "filestream.h"
#include "gridhost.h"
#include "recordpane.h"

// A plain document for the grid tests: a real temporary working file, a
// segment list, view settings, and a record of every call the pane makes.
class TestHost : public GridHost {
public:
    TestHost();
    ~TestHost() override;

    // Creates the working file with these bytes (or a sparse file of `size`).
    void createFile(const std::vector<std::uint8_t>& bytes);
    void createSparseFile(std::int64_t size);
    std::vector<std::uint8_t> fileBytes() const;
    vm::Segment& addSegment(std::int32_t begin, std::int32_t length, std::int32_t recordLength,
                            bool anomaly = false);
    static vm::TypeEntry entry(int kind, int start, int length, const std::string& memo = "",
                               int width = 60) {
        return fieldEntry(kind, start, length, memo, width);
    }

    vm::FileStream* dataStream() override { return m_stream.isOpen() ? &m_stream : nullptr; }
    bool canWriteData() const override { return true; }
    vm::SegmentList& segments() override { return m_segments; }
    vm::ViewSettings& viewSettings() { return m_view; }
    const vm::ViewSettings& viewSettings() const override { return m_view; }
    const vm::Locale& locale() const override { return m_locale; }
    bool gridFillEnabled() const override { return fillEnabled; }
    ModelEvents& events() override { return m_events; }
    bool writeData(std::int64_t offset, std::span<const std::uint8_t> bytes,
                   std::string* error) override;
    void changeEntry(vm::Segment* segment, int index, const vm::TypeEntry& entry) override;
    void selectSegment(vm::Segment* segment) override;
    // Where the pane's position bar asked to go (the fixture connects it).
    void locatePosition(std::int64_t offset) {
        located.push_back(offset);
        if (onLocate)
            onLocate(offset);
    }

    RecordPane* pane = nullptr;
    bool fillEnabled = true;
    bool dataChanged = false;
    bool typeChanged = false;
    int definitionChanges = 0;
    std::vector<std::int64_t> located;
    std::function<void(std::int64_t)> onLocate; // what the control panel would do

private:
    QTemporaryDir m_dir;
    std::string m_path;
    vm::FileStream m_stream;
    vm::SegmentList m_segments;
    vm::ViewSettings m_view;
    ModelEvents m_events;
    vm::Locale m_locale;
};
