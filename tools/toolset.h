#pragma once

#include "toolhooks.h"

class Tmain;

// The tool windows of the program, made once with the main window as their
// parent and shown on its commands. The main window owns the set.
class ToolSet : public ToolHooks {
public:
    explicit ToolSet(Tmain& window);
    ~ToolSet() override;

private:
    Tmain& m_window;
};
