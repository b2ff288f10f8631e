#pragma once

#include <cstdint>
#include <string>

#include <QString>

// What the main window asks of the tool windows (find, compare, data hint,
// goto offset, file information, split). The tools implement it; each `show...`
// or `set...Visible` returns false when its window is not there, and the main
// window then tells the user so. The main window owns the object it is given.
class ToolHooks {
public:
    virtual ~ToolHooks() = default;

    virtual bool setFindVisible(bool /*visible*/) { return false; }
    virtual bool setCompareVisible(bool /*visible*/) { return false; }
    virtual bool setDataHintVisible(bool /*visible*/) { return false; }
    virtual bool showGotoOffset() { return false; }
    virtual bool showFileInformation(const QString& /*dataFile*/, const QString& /*typeFile*/) {
        return false;
    }
    virtual bool showSplitFile(const QString& /*dataFile*/) { return false; }
    // Closing the program or the document: running searches and comparisons end.
    virtual void stopLongOperations() {}
};
