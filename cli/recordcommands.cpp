// add-records and delete-records: the record dialogs of the program for scripts,
// on a data file and its type file replaced together.
#include <optional>

#include "commands.h"
#include "cp1252.h"
#include "editsession.h"
#include "recordedits.h"

namespace vmcli {

namespace {

struct RecordArgs {
    std::vector<std::string> positional; // DATAFILE SEGMENT and the two numbers
    std::string type;
    bool append = false;
    bool fillNear = false;
};

// Numbers may be negative ("-1"): only the named options count as options.
std::optional<std::string> parseRecordArgs(const Args& args, bool withFlags, RecordArgs& ra) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--type") {
            if (i + 1 >= args.size())
                return a + " needs a file name";
            ra.type = args[++i];
        } else if (withFlags && a == "--append") {
            ra.append = true;
        } else if (withFlags && a == "--fill-near") {
            ra.fillNear = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return "Unknown option: " + a;
        } else {
            ra.positional.push_back(a);
        }
    }
    if (ra.positional.size() != 4)
        return std::string(withFlags
                               ? "Usage: add-records DATAFILE SEGMENT POSITION COUNT [--append] "
                                 "[--fill-near] [--type TYPEFILE]"
                               : "Usage: delete-records DATAFILE SEGMENT FIRST LAST [--type "
                                 "TYPEFILE]");
    if (ra.type.empty())
        ra.type = ra.positional[0] + ".type";
    return std::nullopt;
}

// Opens the files and finds the segment; the exit code when that fails.
std::optional<int> openSegment(EditSession& session, const RecordArgs& ra, vm::Segment*& seg) {
    if (auto code = session.open(ra.positional[0], ra.type))
        return code;
    std::string error;
    seg = session.findSegment(ra.positional[1], error);
    if (!seg)
        return fail(error);
    if (const std::string refusal = vm::recordEditRefusal(*seg); !refusal.empty())
        return fail(vm::cp1252ToUtf8(refusal));
    return std::nullopt;
}

// What the program's type file holds after the same edit: record edits are
// made with "Can Edit Structure" on, which turns "Can Reset Structure" off.
void asEditedInTheProgram(EditSession& session) {
    session.content().settings.setCanEditStructure(true);
    session.content().settings.setCanResetStructure(false);
}

std::string failureText(const vm::FileResult& r) {
    if (r.ok)
        return {};
    return r.error.empty() ? std::string("Unknown error") : r.error;
}

// One record edit on DATAFILE and its type file: edit reads the numbers and
// changes the working copy, returning the message of a refusal or failure.
template <typename Edit> int runRecordEdit(const Args& args, bool withFlags, Edit&& edit) {
    RecordArgs ra;
    if (auto e = parseRecordArgs(args, withFlags, ra))
        return fail(*e);
    EditSession session;
    vm::Segment* seg = nullptr;
    if (auto code = openSegment(session, ra, seg))
        return *code;
    if (const std::string error = edit(session, *seg, ra); !error.empty())
        return fail(error);
    // No record added (a count of 0): neither file is written.
    if (session.dataUnchanged())
        return session.unchanged();
    asEditedInTheProgram(session);
    return session.save();
}

} // namespace

int cmdAddRecords(const Args& args) {
    return runRecordEdit(
        args, true, [](EditSession& session, vm::Segment& seg, const RecordArgs& ra) {
            vm::AddRecordsRequest request;
            // The numbers are echoed in a refusal as they were typed (UTF-8).
            std::string refusal = vm::readAddRecords(ra.positional[2], ra.positional[3], ra.append,
                                                     seg.recordCount, request);
            if (!refusal.empty())
                return refusal;
            request.fillNear = ra.fillNear;
            if (request.count == 0)
                return std::string();
            return failureText(
                vm::addRecordsToSegment(session.working(), session.segments(), seg, request));
        });
}

int cmdDeleteRecords(const Args& args) {
    return runRecordEdit(
        args, false, [](EditSession& session, vm::Segment& seg, const RecordArgs& ra) {
            vm::DeleteRecordsRequest request;
            std::string refusal =
                vm::readDeleteRecords(ra.positional[2], ra.positional[3], seg.recordCount, request);
            if (!refusal.empty())
                return refusal;
            return failureText(
                vm::deleteRecordsFromSegment(session.working(), session.segments(), seg, request));
        });
}

} // namespace vmcli
