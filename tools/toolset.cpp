#include "toolset.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>

#include "compare/comparewindow.h"
#include "datahint/datahintwindow.h"
#include "docking.h"
#include "document.h"
#include "documentfiles.h"
#include "fileinfo/fileinfowindow.h"
#include "find/findwindow.h"
#include "gotooffset/gotooffsetwindow.h"
#include "prompter.h"
#include "split/splitwindow.h"

ToolSet::ToolSet(const ToolContext& context) : m_context(context) {
    Document& doc = context.document;
    QMainWindow& window = context.window;
    m_find = new TFfind(doc, context.pane, context.locate, &window);
    m_dataHint = new TfcurShow(doc, context.pane, window);
    m_compare = new Tcompf(doc, context.pane, context.locate, &window);
    m_goto = new TgotoOffsetf(doc, context.pane, context.locate, &window);
    m_fileInfo = new TFileInfo(doc, &window);
    m_split = new Tsplit(doc, &window);
    for (QDockWidget* dock :
         {static_cast<QDockWidget*>(m_find), static_cast<QDockWidget*>(m_compare)}) {
        dockLeft(window, dock);
        dock->hide();
    }
    // Searches and compares read the document: they end before it goes.
    for (auto signal : {&Document::structureAboutToBeCleared, &Document::documentReplaced})
        QObject::connect(&doc, signal, m_find, [this] { stopLongOperations(); });
    // What they found in data that is gone would mislead, and the compare
    // grids would show the compare file beside other data.
    QObject::connect(&doc, &Document::documentReplaced, m_find, [this] {
        m_find->forgetResults();
        m_compare->forgetResults();
    });

    const ToolActions& a = context.actions;
    QObject::connect(a.find, &QAction::triggered, m_find,
                     [this, a] { toggleScanWindow(a.find, m_find, a.compare, m_compare); });
    QObject::connect(a.compare, &QAction::triggered, m_compare, [this, a] {
        if (toggleScanWindow(a.compare, m_compare, a.find, m_find))
            m_compare->chooseFile();
    });
    QObject::connect(a.dataHint, &QAction::triggered, m_dataHint,
                     [this, a] { m_dataHint->setShown(a.dataHint->isChecked()); });
    QObject::connect(a.gotoOffset, &QAction::triggered, m_goto, [this] {
        if (m_context.document.dataStream())
            m_goto->prepareAndShow();
    });
    QObject::connect(a.fileInfo, &QAction::triggered, m_fileInfo, [this] {
        if (m_fileInfo->fill(m_context.document.dataFileName(), m_context.document.typeFileName()))
            prompter().runModal(*m_fileInfo);
    });
    QObject::connect(a.split, &QAction::triggered, m_split, [this] {
        m_split->prepare(m_context.document.dataFileName());
        prompter().runModal(*m_split);
    });
    // A window closed by its own title bar unchecks its entry.
    QObject::connect(m_find, &TFfind::closed, a.find, [a] { a.find->setChecked(false); });
    QObject::connect(m_compare, &Tcompf::closed, a.compare, [a] { a.compare->setChecked(false); });
    QObject::connect(m_dataHint, &TfcurShow::closed, a.dataHint,
                     [a] { a.dataHint->setChecked(false); });
}

ToolSet::~ToolSet() {
    delete m_goto;
    delete m_compare;
    delete m_find;
}

bool ToolSet::toggleScanWindow(QAction* own, QDockWidget* window, QAction* other,
                               QDockWidget* otherWindow) {
    if (!m_context.document.dataStream()) {
        own->setChecked(!own->isChecked());
        requireData(m_context.document, &m_context.window);
        return false;
    }
    if (!own->isChecked()) {
        if (window->isVisible())
            window->close();
        return false;
    }
    if (other->isChecked()) {
        if (otherWindow->isVisible())
            otherWindow->close();
        other->setChecked(false);
    }
    showDock(m_context.window, window);
    return true;
}

void ToolSet::stopLongOperations() {
    m_find->stopSearch();
    m_compare->stopCompare();
}
