#include "toolset.h"

#include "mainwindow.h"

ToolSet::ToolSet(Tmain& window) : m_window(window) {}

ToolSet::~ToolSet() = default;
