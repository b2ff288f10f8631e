#pragma once

#include "toolhooks.h"

class Tcompf;
class TFfind;
class TgotoOffsetf;
class Tmain;

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

    TFfind* findWindow() const { return m_find; }
    Tcompf* compareWindow() const { return m_compare; }
    TgotoOffsetf* gotoOffsetWindow() const { return m_goto; }

private:
    Tmain& m_window;
    // Children of the main window, deleted with the set.
    TFfind* m_find = nullptr;
    Tcompf* m_compare = nullptr;
    TgotoOffsetf* m_goto = nullptr;
};
