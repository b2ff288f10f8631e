#pragma once

#include <optional>
#include <string>

#include "paircommit.h"
#include "typefile.h"
#include "workingfile.h"

namespace vmcli {

// A data file and its type file opened for an edit that changes both, done the
// way the program does it: on a working copy in the temporary folder. Nothing
// on disk changes until save(), which replaces both files only once both new
// contents are complete; a refused or failed edit leaves them untouched.
// From open() to the end of save() the data file is locked against other
// writers, and save() refuses when another program changed either file.
class EditSession {
public:
    EditSession() = default;
    ~EditSession();
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;

    // Reads the structure and makes the working copy; the exit code and its
    // message on stderr when that fails. Data files of 2 GiB or more are
    // refused, as the program refuses them: the structure cannot address them.
    std::optional<int> open(const std::string& dataFile, const std::string& typeFile);

    vm::WorkingFile& working() { return m_wf; }
    vm::TypeFileContent& content() { return m_content; }
    vm::SegmentList& segments() { return m_content.segments; }
    std::int64_t dataSize() const { return m_wf.stream.size(); }

    // A segment named on the command line: its name, or "#N" for the N-th row
    // of the segment list (from 1). nullptr with the reason in error.
    vm::Segment* findSegment(const std::string& arg, std::string& error);

    // Writes the working copy over the data file and the structure over the
    // type file; the exit code (0, or 1 with the message on stderr).
    int save();

private:
    std::string m_dataFile;
    std::string m_typeFile;
    vm::PairEdit m_edit;
    vm::WorkingFile m_wf;
    vm::TypeFileContent m_content;
};

} // namespace vmcli
