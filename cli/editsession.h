#pragma once

#include <optional>
#include <string>

#include "atomicfile.h"
#include "paircommit.h"
#include "typefile.h"
#include "workingfile.h"

namespace vmcli {

// A data file and its type file opened for an edit that changes both. Nothing
// on disk changes until save(), which replaces both files only once both new
// contents are complete; a refused or failed edit leaves them untouched.
// From open() to the end of save() the data file is locked against other
// writers, and save() refuses when another program changed either file.
//
// The edit reads the data file itself, and its rewrite writes straight into
// the new file beside it that save() puts in its place: one read and one
// write of the data, with no working copy in between.
class EditSession {
public:
    EditSession() = default;
    ~EditSession();
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;

    // Reads the structure and opens the data file for the edit; the exit
    // code and its message on stderr when that fails. Data files of 2 GiB or
    // more are refused, as the program refuses them: the structure cannot
    // address them.
    std::optional<int> open(const std::string& dataFile, const std::string& typeFile);

    // What the edit works on: its stream reads the data file until a rewrite
    // switches it to the new contents.
    vm::WorkingFile& working() { return m_wf; }
    vm::TypeFileContent& content() { return m_content; }
    vm::SegmentList& segments() { return m_content.segments; }
    std::int64_t dataSize() const { return m_wf.stream.size(); }
    // True while no rewrite has made new data contents.
    bool dataUnchanged() const;

    // A segment named on the command line: its name, or "#N" for the N-th row
    // of the segment list (from 1). nullptr with the reason in error.
    vm::Segment* findSegment(const std::string& arg, std::string& error);

    // Puts the new data over the data file and the structure over the type
    // file; the exit code (0, or 1 with the message on stderr). A file whose
    // contents did not change is not written; when neither did, nothing is.
    int save();
    // Ends an edit that changes nothing: no file is written, stderr says so. 0.
    int unchanged();

private:
    std::string m_dataFile;
    std::string m_typeFile;
    vm::PairEdit m_edit;
    // The data file's replacement: made when the edit's rewrite starts, and
    // written by it.
    vm::ReplaceFile m_data;
    vm::WorkingFile m_wf;
    std::optional<vm::FileId> m_sourceId;
    vm::TypeFileContent m_content;
};

} // namespace vmcli
