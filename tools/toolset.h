#pragma once

#include "toolhooks.h"

class Tcompf;
class TFfind;
class TgotoOffsetf;
class Tmain;
class TfcurShow;
class TFileInfo;
class Tsplit;

// The tool windows of the program, made once with the main window as their
// parent and shown on its commands. The main window owns the set.
class ToolSet : public ToolHooks {
public:
    explicit ToolSet(Tmain& window);
    ~ToolSet() override;

    bool setFindVisible(bool visible) override;
    bool setCompareVisible(bool visible) override;
    bool showGotoOffset() override;
    void stopLongOperations() override;
    bool setDataHintVisible(bool visible) override;
    bool showFileInformation(const QString& dataFile, const QString& typeFile) override;
    bool showSplitFile(const QString& dataFile) override;

    TFfind* findWindow() const { return m_find; }
    Tcompf* compareWindow() const { return m_compare; }
    TgotoOffsetf* gotoOffsetWindow() const { return m_goto; }

private:
    Tmain& m_window;
    // Children of the main window. The scanning windows are deleted with the
    // set, so that no scan outlives it; the others go with the window.
    TFfind* m_find = nullptr;
    TfcurShow* m_dataHint = nullptr;
    Tcompf* m_compare = nullptr;
    TgotoOffsetf* m_goto = nullptr;
    TFileInfo* m_fileInfo = nullptr;
    Tsplit* m_split = nullptr;
};
