#pragma once

#include <cstdint>
#include <functional>

class QAction;
class QMainWindow;
class Document;
class RecordPane;

// Goes to a file offset (counted from the file's start when absolute, else
// from the current segment's begin), selecting the segment and record there.
using Locate = std::function<void(std::int64_t offset, bool absolute)>;

// The View and Tools entries of the tool windows: the main window lays them
// out, the tools run them and keep their checks.
struct ToolActions {
    QAction* find = nullptr;
    QAction* compare = nullptr;
    QAction* dataHint = nullptr;
    QAction* gotoOffset = nullptr;
    QAction* fileInfo = nullptr;
    QAction* split = nullptr;
};

// What the tool windows are given: the document they read and change, the
// record pane they mark, the window they are children of and dock in, the
// way to a file offset, and their entries.
struct ToolContext {
    Document& document;
    RecordPane& pane;
    QMainWindow& window;
    Locate locate;
    ToolActions actions;
};

// What the main window asks of the tool windows once they are plugged in
// (Tmain::setTools): closing the program, running searches and comparisons
// end. The main window owns the object it is given.
class ToolHooks {
public:
    virtual ~ToolHooks() = default;
    virtual void stopLongOperations() = 0;
};
