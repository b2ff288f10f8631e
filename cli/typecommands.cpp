// print-type and write-type: a type file as JSON and back.
#include <iostream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "codec.h"
#include "cp1252.h"
#include "kinds.h"
#include "filestream.h"
#include "model.h"
#include "outputfile.h"
#include "typefile.h"
#include "typejson.h"

namespace vmcli {

json entryJson(const vm::TypeEntry& e) {
    return json{{"kind", e.kind},
                {"kindName", std::string(vm::kindName(e.kind))},
                {"start", e.start},
                {"length", e.length},
                {"columnWidth", e.columnWidth},
                {"memo", vm::cp1252ToUtf8(e.memo)}};
}

json segmentJson(const vm::Segment& s) {
    json fields = json::array();
    for (const auto& e : s.entries)
        fields.push_back(entryJson(e));
    return json{{"name", vm::cp1252ToUtf8(s.name)},
                {"begin", s.begin},
                {"recordCount", s.recordCount},
                {"recordLength", s.recordLength},
                {"length", s.length},
                {"anomaly", s.anomaly},
                {"toFilesEnd", s.toFilesEnd},
                {"anomalyColumnWidths", s.anomalyColumnWidths},
                {"fields", fields}};
}

namespace {

// A structure error in the JSON, with the place it was found.
struct JsonError {
    std::string message;
};

template <typename T>
T number(const json& obj, const char* key, T fallback, const std::string& where) {
    if (!obj.contains(key))
        return fallback;
    const json& v = obj.at(key);
    if (!v.is_number_integer())
        throw JsonError{where + "." + key + " must be an integer"};
    const auto n = v.get<std::int64_t>();
    if (n < std::numeric_limits<T>::min() ||
        n > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
        throw JsonError{where + "." + key + " is out of range"};
    return static_cast<T>(n);
}

bool boolean(const json& obj, const char* key, bool fallback, const std::string& where) {
    if (!obj.contains(key))
        return fallback;
    if (!obj.at(key).is_boolean())
        throw JsonError{where + "." + key + " must be true or false"};
    return obj.at(key).get<bool>();
}

std::string text(const json& obj, const char* key, std::size_t max, const std::string& where) {
    const json& v = obj.at(key);
    if (!v.is_string())
        throw JsonError{where + "." + key + " must be a string"};
    bool ok = true;
    std::string s = vm::utf8ToCp1252(v.get<std::string>(), &ok);
    if (!ok)
        throw JsonError{where + "." + key + " has characters single-byte text cannot hold"};
    if (s.size() > max)
        throw JsonError{where + "." + key + " is longer than " + std::to_string(max) +
                        " characters"};
    return s;
}

const json& arrayOf(const json& obj, const char* key, const std::string& where) {
    const json& v = obj.at(key);
    if (!v.is_array())
        throw JsonError{where + "." + key + " must be an array"};
    return v;
}

// memos: the names the owner's entries so far hold, for the default memo.
vm::TypeEntry entryFrom(const json& j, vm::UniqueNames& memos, const std::string& where) {
    if (!j.is_object())
        throw JsonError{where + " must be an object"};
    int kind = 0;
    if (j.contains("kind")) {
        kind = number<std::uint8_t>(j, "kind", 0, where);
    } else if (j.contains("kindName")) {
        const auto k = vm::kindFromName(text(j, "kindName", 20, where));
        if (!k)
            throw JsonError{where + ".kindName is not a kind name"};
        kind = *k;
    }
    vm::TypeEntry e = vm::newTypeEntry(kind, memos.next(), nullptr);
    e.start = number<std::uint16_t>(j, "start", e.start, where);
    const bool lengthGiven = j.contains("length");
    e.length = number<std::uint16_t>(j, "length", e.length, where);
    std::uint16_t width = e.columnWidth;
    if (lengthGiven && !j.contains("columnWidth"))
        width = static_cast<std::uint16_t>(
            vm::columnWidthFor(vm::entryDisplayWidth(kind, e.length), vm::kDefaultFontHeight));
    e.columnWidth = number<std::uint16_t>(j, "columnWidth", width, where);
    if (j.contains("memo"))
        e.memo = text(j, "memo", vm::kMemoMax, where);
    memos.use(e.memo);
    return e;
}

void buildStructure(const json& root, vm::TypeFileContent& out) {
    if (!root.is_object())
        throw JsonError{"the document must be a JSON object"};
    if (root.contains("viewSettings")) {
        const json& a = arrayOf(root, "viewSettings", "viewSettings");
        if (a.size() > vm::kViewSettingsSize)
            throw JsonError{"viewSettings has more than 25 numbers"};
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!a[i].is_number_integer() || a[i].get<std::int64_t>() < 0 ||
                a[i].get<std::int64_t>() > 255)
                throw JsonError{"viewSettings[" + std::to_string(i) + "] must be 0 to 255"};
            out.settings.bytes[i] = static_cast<std::uint8_t>(a[i].get<int>());
        }
    }
    if (root.contains("dataHint")) {
        const json& a = arrayOf(root, "dataHint", "dataHint");
        if (a.size() > vm::kDataHintSlots)
            throw JsonError{"dataHint has more than 21 flags"};
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (!a[i].is_boolean())
                throw JsonError{"dataHint[" + std::to_string(i) + "] must be true or false"};
            out.dataHint[i] = a[i].get<bool>();
        }
    }
    if (!root.contains("segments"))
        return;
    const json& segs = arrayOf(root, "segments", "segments");
    vm::UniqueNames names("Seg");
    for (const auto& s : out.segments)
        names.use(s->name);
    for (std::size_t i = 0; i < segs.size(); ++i) {
        const std::string where = "segments[" + std::to_string(i) + "]";
        const json& j = segs[i];
        if (!j.is_object())
            throw JsonError{where + " must be an object"};
        auto s = vm::newSegment(vm::SegmentList(), 0);
        s->name = names.next();
        if (j.contains("name"))
            s->name = text(j, "name", vm::kSegmentNameMax, where);
        names.use(s->name);
        s->begin = number<std::int32_t>(j, "begin", s->begin, where);
        s->recordCount = number<std::int32_t>(j, "recordCount", s->recordCount, where);
        s->recordLength = number<std::int32_t>(j, "recordLength", s->recordLength, where);
        s->length = number<std::int32_t>(j, "length", s->length, where);
        s->anomaly = boolean(j, "anomaly", s->anomaly, where);
        s->toFilesEnd = boolean(j, "toFilesEnd", s->toFilesEnd, where);
        if (j.contains("anomalyColumnWidths")) {
            const json& a = arrayOf(j, "anomalyColumnWidths", where);
            if (a.size() != 5)
                throw JsonError{where + ".anomalyColumnWidths must have 5 numbers"};
            for (std::size_t k = 0; k < 5; ++k) {
                if (!a[k].is_number_integer() || a[k].get<std::int64_t>() < 0 ||
                    a[k].get<std::int64_t>() > 65535)
                    throw JsonError{where + ".anomalyColumnWidths must be 0 to 65535"};
                s->anomalyColumnWidths[k] = static_cast<std::uint16_t>(a[k].get<int>());
            }
        }
        if (j.contains("fields")) {
            const json& f = arrayOf(j, "fields", where);
            vm::UniqueNames memos("M");
            for (std::size_t k = 0; k < f.size(); ++k)
                s->entries.push_back(
                    entryFrom(f[k], memos, where + ".fields[" + std::to_string(k) + "]"));
        }
        out.segments.append(std::move(s));
    }
}

} // namespace

std::string structureJson(const vm::SegmentList& segments, const vm::ViewSettings& settings,
                          const vm::DataHintFlags& dataHint) {
    json segs = json::array();
    for (const auto& s : segments)
        segs.push_back(segmentJson(*s));
    const json out{{"viewSettings", settings.bytes}, {"dataHint", dataHint}, {"segments", segs}};
    return out.dump(2);
}

int cmdPrintType(const Args& a) {
    std::string path;
    std::int64_t dataSize = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--data-size" && i + 1 < a.size()) {
            const auto n = vm::parseInteger(a[++i]);
            if (!n || *n < 0)
                return fail("Not a size: " + a[i]);
            dataSize = *n;
        } else if (path.empty() && a[i].rfind("--", 0) != 0) {
            path = a[i];
        } else {
            return fail("Usage: vellomarque-cli print-type TYPEFILE [--data-size N]");
        }
    }
    if (path.empty())
        return fail("Usage: vellomarque-cli print-type TYPEFILE [--data-size N]");
    settlePendingCommit(path);
    const vm::TypeReadResult r = vm::readTypeFile(path, dataSize);
    if (!r.ok)
        return fail(r.message); // the path and our own words: already UTF-8
    std::cout << structureJson(r.content.segments, r.content.settings, r.content.dataHint)
              << '\n';
    return 0;
}

int cmdWriteType(const Args& a) {
    if (a.size() != 2)
        return fail("Usage: vellomarque-cli write-type JSONFILE TYPEFILE");
    // Opened as every input is: a FIFO or a device is refused at once, never
    // waited on.
    vm::FileStream in;
    if (!in.open(a[0], vm::FileStream::Mode::Read))
        return fail("Cannot read " + a[0] + ": " + in.lastError());
    const std::int64_t size = in.size();
    if (size > (std::int64_t{256} << 20))
        return fail("Cannot read " + a[0] + ": it is too large for a structure (" +
                    std::to_string(size) + " bytes)");
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!in.readExact(
            0, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(text.data()), text.size())))
        return fail("Cannot read " + a[0] + ": " + in.lastError());
    vm::TypeFileContent content;
    try {
        const json root = json::parse(text);
        buildStructure(root, content);
    } catch (const JsonError& e) {
        return fail(a[0] + ": " + e.message);
    } catch (const json::exception& e) {
        return fail(a[0] + ": " + e.what());
    }
    // The type file may be half of a pair a killed edit left.
    settlePendingCommit(a[1]);
    // Standard output and FIFOs are written in place, as by every command.
    vm::OutputFile out;
    if (!out.begin(a[1], true) ||
        !out.write(vm::typeFileImage(content.segments, content.settings, content.dataHint)) ||
        !out.commit())
        return fail(a[1] + " Write Error (" + out.error() + ")");
    return 0;
}

} // namespace vmcli
