#include "toolset.h"

#include "datahint/datahintwindow.h"
#include "fileinfo/fileinfowindow.h"
#include "mainwindow.h"
#include "prompter.h"
#include "split/splitwindow.h"

// The windows belong to the main window, as its children.
ToolSet::ToolSet(Tmain& window)
    : m_window(window), m_dataHint(new TfcurShow(window)),
      m_fileInfo(new TFileInfo(window.document(), &window)), m_split(new Tsplit(window)) {}

ToolSet::~ToolSet() = default;

bool ToolSet::setDataHintVisible(bool visible) {
    m_dataHint->setShown(visible);
    return true;
}

bool ToolSet::showFileInformation(const QString& dataFile, const QString& typeFile) {
    if (m_fileInfo->fill(dataFile, typeFile))
        prompter().runModal(*m_fileInfo);
    return true;
}

bool ToolSet::showSplitFile(const QString& dataFile) {
    m_split->prepare(dataFile);
    prompter().runModal(*m_split);
    return true;
}
