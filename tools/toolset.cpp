#include "toolset.h"

#include <QDockWidget>

#include "compare/comparewindow.h"
#include "datahint/datahintwindow.h"
#include "document.h"
#include "fileinfo/fileinfowindow.h"
#include "find/findwindow.h"
#include "gotooffset/gotooffsetwindow.h"
#include "mainwindow.h"
#include "prompter.h"
#include "split/splitwindow.h"

namespace {

// Shows a dockable tool window; docked in a collapsed dock site, it opens the
// site to its usual width.
void showDock(Tmain& window, QDockWidget* dock) {
    dock->show();
    dock->raise();
    if (!dock->isFloating() && dock->width() < 10)
        window.resizeDocks({dock}, {264}, Qt::Horizontal);
}

} // namespace

ToolSet::ToolSet(Tmain& window) : m_window(window) {
    m_find = new TFfind(window);
    m_dataHint = new TfcurShow(window);
    m_compare = new Tcompf(window);
    m_goto = new TgotoOffsetf(window);
    m_fileInfo = new TFileInfo(window.document(), &window);
    m_split = new Tsplit(window);
    for (QDockWidget* dock :
         {static_cast<QDockWidget*>(m_find), static_cast<QDockWidget*>(m_compare)}) {
        window.addLeftDock(dock);
        dock->hide();
    }
    // Searches and compares read the document: they end before it goes.
    for (auto signal : {&Document::structureAboutToBeCleared, &Document::documentReplaced})
        QObject::connect(&window.document(), signal, m_find, [this] { stopLongOperations(); });
}

ToolSet::~ToolSet() {
    delete m_goto;
    delete m_compare;
    delete m_find;
}

bool ToolSet::setFindVisible(bool visible) {
    if (visible)
        showDock(m_window, m_find);
    else if (m_find->isVisible())
        m_find->close();
    return true;
}

bool ToolSet::setCompareVisible(bool visible) {
    if (!visible) {
        if (m_compare->isVisible())
            m_compare->close();
        return true;
    }
    showDock(m_window, m_compare);
    m_compare->chooseFile();
    return true;
}

bool ToolSet::showGotoOffset() {
    m_goto->prepareAndShow();
    return true;
}

void ToolSet::stopLongOperations() {
    m_find->stopSearch();
    m_compare->stopCompare();
}

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
