#pragma once

#include "toolhooks.h"

class QAction;
class QDockWidget;
class Tcompf;
class TFfind;
class TgotoOffsetf;
class TfcurShow;
class TFileInfo;
class Tsplit;

// The tool windows of the program, made once as children of the main window
// and shown by the entries they are given, which they run and keep checked.
// The main window owns the set.
class ToolSet : public ToolHooks {
public:
    explicit ToolSet(const ToolContext& context);
    ~ToolSet() override;

    void stopLongOperations() override;

    TFfind* findWindow() const { return m_find; }
    Tcompf* compareWindow() const { return m_compare; }
    TgotoOffsetf* gotoOffsetWindow() const { return m_goto; }

private:
    // Find and compare share the map strip and the marks in the grids: one
    // shown closes the other. Both need open data. True when it was shown.
    bool toggleScanWindow(QAction* own, QDockWidget* window, QAction* other,
                          QDockWidget* otherWindow);

    ToolContext m_context;
    // Children of the main window. The scanning windows are deleted with the
    // set, so that no scan outlives it; the others go with the window.
    TFfind* m_find = nullptr;
    TfcurShow* m_dataHint = nullptr;
    Tcompf* m_compare = nullptr;
    TgotoOffsetf* m_goto = nullptr;
    TFileInfo* m_fileInfo = nullptr;
    Tsplit* m_split = nullptr;
};
