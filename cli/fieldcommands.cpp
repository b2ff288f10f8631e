// add-field, delete-fields and change-kind: the field actions of edit mode on a
// data file and its type file, done as the program does them.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "codec.h"
#include "commands.h"
#include "cp1252.h"
#include "editsession.h"
#include "fieldedits.h"
#include "kinds.h"
#include "segmentedits.h"

namespace vmcli {

namespace {

// DATAFILE SEGMENT and the command's own words, with --type and the options
// that take a value pulled out wherever they stand.
struct FieldArgs {
    std::vector<std::string> words;
    std::string type;
    std::optional<std::string> at, memo, value, from;
};

std::optional<std::string> parseFieldArgs(const Args& args, const std::vector<std::string>& options,
                                          FieldArgs& fa) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool known =
            a == "--type" || std::find(options.begin(), options.end(), a) != options.end();
        if (!known) {
            if (a.size() > 1 && a[0] == '-' && a[1] == '-')
                return "Unknown option: " + a;
            fa.words.push_back(a);
            continue;
        }
        if (i + 1 >= args.size())
            return a + " needs a value";
        const std::string& v = args[++i];
        std::optional<std::string>* slot = a == "--at"      ? &fa.at
                                           : a == "--memo"  ? &fa.memo
                                           : a == "--value" ? &fa.value
                                           : a == "--from"  ? &fa.from
                                                            : nullptr;
        if (slot) {
            if (*slot)
                return a + " is given twice";
            *slot = v;
        } else {
            fa.type = v;
        }
    }
    if (fa.words.size() >= 1 && fa.type.empty())
        fa.type = fa.words[0] + ".type";
    return std::nullopt;
}

std::optional<std::int64_t> parseIndex(const std::string& text) {
    return vm::parseInteger(text);
}

// Single-byte text from an argument; nothing when a character has no such form.
std::optional<std::string> singleByte(const std::string& utf8) {
    bool ok = true;
    std::string s = vm::utf8ToCp1252(utf8, &ok);
    if (!ok)
        return std::nullopt;
    return s;
}

void printField(const vm::Segment& seg, std::size_t index) {
    const vm::TypeEntry& e = seg.entries[index];
    std::cout << index << '\t' << vm::kindName(e.kind) << '\t' << e.start << '\t' << e.length
              << '\t' << vm::cp1252ToUtf8(e.memo) << '\n';
}

// Opens the session and finds the segment; the exit code when that fails.
std::optional<int> openSegment(EditSession& session, const FieldArgs& fa, vm::Segment*& seg) {
    if (auto code = session.open(fa.words[0], fa.type))
        return code;
    std::string error;
    seg = session.findSegment(fa.words[1], error);
    if (!seg)
        return fail(error);
    return std::nullopt;
}

// A finished edit: the segments behind move with the bytes, then both files
// are replaced together.
int finish(EditSession& session, vm::Segment& seg, const vm::FieldEdit& edit) {
    if (!edit.ok)
        return fail(vm::cp1252ToUtf8(edit.error));
    if (edit.bytesMoved)
        vm::shiftFollowingSegments(session.segments(), seg, edit.delta);
    return session.save();
}

} // namespace

int cmdAddField(const Args& args) {
    static const char* usage = "Usage: vellomarque-cli add-field DATAFILE SEGMENT KIND LENGTH "
                               "[--at INDEX] [--memo TEXT] [--value TEXT | --from INDEX] "
                               "[--type TYPEFILE]";
    FieldArgs fa;
    if (auto e = parseFieldArgs(args, {"--at", "--memo", "--value", "--from"}, fa))
        return fail(*e);
    if (fa.words.size() != 4)
        return fail(usage);
    if (fa.value && fa.from)
        return fail("--value and --from exclude each other");
    vm::NewFieldRequest req;
    const auto kind = parseKind(fa.words[2], KindCodes::Known);
    if (!kind)
        return fail("Unknown kind: " + fa.words[2]);
    req.kind = *kind;
    const auto length = parseIndex(fa.words[3]);
    if (!length)
        return fail("Not a length: " + fa.words[3]);
    req.length = *length;
    if (fa.at) {
        req.insertIndex = parseIndex(*fa.at);
        if (!req.insertIndex)
            return fail("Not a field index: " + *fa.at);
    }
    if (fa.from) {
        req.convert = true;
        req.sourceIndex = parseIndex(*fa.from);
        if (!req.sourceIndex)
            return fail("Not a field index: " + *fa.from);
    }
    if (fa.value) {
        const auto text = singleByte(*fa.value);
        if (!text)
            return fail("The value has characters that single-byte data cannot hold: " + *fa.value);
        req.fillText = *text;
        req.fillMustEncode = true;
    }
    std::optional<std::string> memo;
    if (fa.memo) {
        memo = singleByte(*fa.memo);
        if (!memo)
            return fail("The memo has characters that single-byte text cannot hold: " + *fa.memo);
    }

    EditSession session;
    vm::Segment* seg = nullptr;
    if (auto code = openSegment(session, fa, seg))
        return *code;
    req.memo = memo ? *memo : vm::uniqueMemo(seg);
    const vm::NewFieldResult prepared = vm::prepareNewField(*seg, req);
    if (!prepared.field)
        return fail(vm::cp1252ToUtf8(prepared.error));
    const vm::FieldEdit edit = vm::addField(session.working(), *seg, *prepared.field);
    if (const int code = finish(session, *seg, edit))
        return code;
    printField(*seg, prepared.field->position.value_or(seg->entries.size() - 1));
    return 0;
}

int cmdDeleteFields(const Args& args) {
    FieldArgs fa;
    if (auto e = parseFieldArgs(args, {}, fa))
        return fail(*e);
    if (fa.words.size() < 3)
        return fail("Usage: vellomarque-cli delete-fields DATAFILE SEGMENT INDEX [INDEX...] "
                    "[--type TYPEFILE]");
    std::vector<std::int64_t> indices;
    for (std::size_t i = 2; i < fa.words.size(); ++i) {
        const auto n = parseIndex(fa.words[i]);
        if (!n)
            return fail("Not a field index: " + fa.words[i]);
        indices.push_back(*n);
    }
    EditSession session;
    vm::Segment* seg = nullptr;
    if (auto code = openSegment(session, fa, seg))
        return *code;
    std::vector<int> rows;
    for (std::int64_t n : indices) {
        if (auto problem = vm::fieldIndexProblem(*seg, n))
            return fail(*problem);
        rows.push_back(static_cast<int>(n));
    }
    return finish(session, *seg,
                  vm::deleteFields(vm::StructMode::Edit, session.working(), *seg, rows));
}

int cmdChangeKind(const Args& args) {
    FieldArgs fa;
    if (auto e = parseFieldArgs(args, {}, fa))
        return fail(*e);
    if (fa.words.size() != 5)
        return fail("Usage: vellomarque-cli change-kind DATAFILE SEGMENT INDEX KIND LENGTH "
                    "[--type TYPEFILE]");
    const auto index = parseIndex(fa.words[2]);
    if (!index)
        return fail("Not a field index: " + fa.words[2]);
    const auto kind = parseKind(fa.words[3], KindCodes::Known);
    if (!kind)
        return fail("Unknown kind: " + fa.words[3]);
    EditSession session;
    vm::Segment* seg = nullptr;
    if (auto code = openSegment(session, fa, seg))
        return *code;
    if (auto problem = vm::fieldIndexProblem(*seg, *index))
        return fail(*problem);
    const auto i = static_cast<std::size_t>(*index);
    const vm::TypeEntry& source = seg->entries[i];
    if (!vm::transformChangesField(source, *kind, fa.words[4]))
        return fail("The field already has that kind and length");
    const vm::TargetResult target = vm::transformTarget(source, *kind, fa.words[4]);
    if (!target.entry)
        return fail(target.error);
    const vm::FieldEdit edit = vm::convertField(session.working(), *seg, i, *target.entry);
    if (const int code = finish(session, *seg, edit))
        return code;
    printField(*seg, i);
    return 0;
}

} // namespace vmcli
