#pragma once

#include "toolhooks.h"

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

    bool setDataHintVisible(bool visible) override;
    bool showFileInformation(const QString& dataFile, const QString& typeFile) override;
    bool showSplitFile(const QString& dataFile) override;

private:
    Tmain& m_window;
    TfcurShow* m_dataHint;
    TFileInfo* m_fileInfo;
    Tsplit* m_split;
};
