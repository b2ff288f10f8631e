#include "mainwindow.h"

#include <algorithm>
#include <climits>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "aboutbox.h"
#include "addrecorddialog.h"
#include "delrecorddialog.h"
#include "document.h"
#include "editstructhint.h"
#include "helptopic.h"
#include "icons.h"
#include "locate.h"
#include "model.h"
#include "outputfile.h"
#include "platform.h"
#include "prompter.h"
#include "recordcommands.h"
#include "recordpane.h"
#include "segmentedits.h"
#include "segmentgrid.h"
#include "structurechecks.h"
#include "textoutputcommand.h"

namespace {

const QString kErrorExplanation =
    QStringLiteral("Has any error in structure setting, please fix the error then try again.");
const QString kWarningExplanation = QStringLiteral(
    "Has any warnning in structure setting, You can click \"OK\" to continue or click \"cancel\" "
    "to cancel this.");

constexpr int kDockWidth = 264;

} // namespace

Tmain::Tmain(QWidget* parent)
    : QMainWindow(parent), m_panel(std::make_unique<PanelHooks>()),
      m_tools(std::make_unique<ToolHooks>()) {
    setObjectName(QStringLiteral("main"));
    setWindowIcon(icons::appIcon());

    // Start-up order: document state, views, actions, recent lists, options.
    m_doc = new Document(this);
    m_doc->setDialogParent(this);

    m_pane = new RecordPane(this, this);
    m_pane->setObjectName(QStringLiteral("recordPane"));
    setCentralWidget(m_pane);

    createDock();
    createActions();
    createMenus();
    createToolBar();
    connectActions();
    createCopyProgress();
    connectDocument();

    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("statusText"));
    statusBar()->addWidget(m_status, 1);
    connect(m_pane, &RecordPane::statusTextChanged, m_status, &QLabel::setText);
    connect(m_pane, &RecordPane::recordMenuRequested, this, &Tmain::showRecordMenu);
    connect(m_pane, &RecordPane::findMapCleared, this,
            [this] { m_panel->redrawPositionBars(true); });

    // The secondary windows are made once and live as long as the program.
    m_structHint = new TeditStructHint(this);
    m_structHint->setTypeRowsProvider(
        [this](int segment) { return typeFindings(*m_doc, segment); });
    m_about = new Tabout(this);
    m_delRecord = new TdelRecord(this);
    m_addRecord = new TAddRecord(this);

    m_doc->loadSettings();
    updateActionStates(true);
    updateCaption();
    m_panel->applyPanelSettings(m_doc->showSegList(), m_doc->showTypeCtrl());

    // The window's own font; a system without it substitutes its sans font.
    QFont f = font();
    f.setFamilies(
        {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), f.family()});
    f.setPixelSize(11);
    setFont(f);
    resize(791, 475);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - rect().center());
    }
}

Tmain::~Tmain() {
    // Hiding the children while the window goes would call back into members
    // that are already gone.
    m_ctrlDock->disconnect(this);
    m_toolBar->disconnect(this);
    m_pane->disconnect(this);
    m_doc->disconnect(this);
    // The grids hang on the segments; release them while the pane still exists.
    vm::clearSegments(m_doc->segments());
}

void Tmain::setPanel(std::unique_ptr<PanelHooks> panel) {
    // The dock lets go of the old panel's widget before that panel goes.
    if (m_ctrlDock->widget() == m_panel->controlPanel())
        m_ctrlDock->setWidget(makePanelPlaceholder());
    m_panel = panel ? std::move(panel) : std::make_unique<PanelHooks>();
    if (QWidget* widget = m_panel->controlPanel()) {
        QWidget* placeholder = m_ctrlDock->widget();
        m_ctrlDock->setWidget(widget);
        if (placeholder)
            placeholder->deleteLater();
    }
    rebuildFileMenu();
    m_panel->applyPanelSettings(m_doc->showSegList(), m_doc->showTypeCtrl());
    updateActionStates(true);
}

void Tmain::setTools(std::unique_ptr<ToolHooks> tools) {
    m_tools->stopLongOperations();
    m_tools = tools ? std::move(tools) : std::make_unique<ToolHooks>();
    updateActionStates(true);
}

// --- construction ----------------------------------------------------------

void Tmain::createDock() {
    m_ctrlDock = new QDockWidget(QStringLiteral("Main Control"), this);
    m_ctrlDock->setObjectName(QStringLiteral("Tctrls"));
    m_ctrlDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    // The control panel takes this place when it is plugged in.
    m_ctrlDock->setWidget(makePanelPlaceholder());
    addDockWidget(Qt::LeftDockWidgetArea, m_ctrlDock);
    resizeDocks({m_ctrlDock}, {kDockWidth}, Qt::Horizontal);
    watchDock(m_ctrlDock);
    connect(m_ctrlDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (QAction* a = action(QStringLiteral("ShowCtrl")); a && !isHidden())
            a->setChecked(visible || !m_ctrlDock->isHidden());
    });
}

void Tmain::watchDock(QDockWidget* dock) {
    // A window dropped on a collapsed dock site opens it to its usual width.
    connect(dock, &QDockWidget::dockLocationChanged, this, [this, dock](Qt::DockWidgetArea area) {
        if (area == Qt::LeftDockWidgetArea && !dock->isFloating() && dock->width() <= 30)
            resizeDocks({dock}, {kDockWidth}, Qt::Horizontal);
    });
}

void Tmain::addLeftDock(QDockWidget* dock) {
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    watchDock(dock);
}

QAction* Tmain::makeAction(const char* name, const QString& caption, const QString& hint,
                           const QKeySequence& shortcut, int image) {
    auto* a = new QAction(caption, this);
    a->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
        a->setToolTip(hint);
        a->setStatusTip(hint);
    }
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    if (image >= 0)
        a->setIcon(icons::image(image));
    a->setProperty("imageIndex", image);
    m_actions.insert(a->objectName(), a);
    addAction(a); // shortcuts work even with the tool bar hidden
    return a;
}

void Tmain::createActions() {
    const QKeySequence none;
    auto ctrl = [](Qt::Key k) { return QKeySequence(Qt::CTRL | k); };
    makeAction("AopenFile", "Open File...", "Open File...", ctrl(Qt::Key_O), 0);
    makeAction("AnewFile", "New File...", "New File", ctrl(Qt::Key_N), 7);
    makeAction("AnewWindow", "Open File in New Wndow", "Open File in New Wndow", none, -1);
    makeAction("AsaveData", "Save File", "Save File", none, 1);
    makeAction("AsaveAs", "Save As...", "Save As...", none, -1);
    makeAction("AopenType", "Open Type File...", "Use Other Type File", none, -1);
    makeAction("useDefaultType", "Use Default Type File", "Use Default Type File", none, -1);
    makeAction("AsaveType", "Save Type File", "Save Type File", none, 16);
    makeAction("AsaveTypeAs", "Save type as...", "Save type as...", none, -1);
    makeAction("AsaveAll", "Save All", "Save All", ctrl(Qt::Key_S), 17);
    makeAction("AcloseAll", "Close All", "Close All", none, -1);
    makeAction("Aexit", "Exit", "Exit This Program", none, -1);
    makeAction("ShowCtrl", "Show Main Control", "Show Main Control", none, 9)->setCheckable(true);
    makeAction("ShowHint", "Show Hint Window", "Show Hint Window", ctrl(Qt::Key_H), 10)
        ->setCheckable(true);
    makeAction("showFind", "Show Find Window", "Show Find Window", ctrl(Qt::Key_F), 2)
        ->setCheckable(true);
    makeAction("showComp", "Show Comp Window", "Compare with Another File ", none, 3)
        ->setCheckable(true);
    makeAction("AtoolBar", "ToolBar", "ToolBar", none, -1)->setCheckable(true);
    makeAction("AisShowNum", "Show Index Num", "Show Index Num", none, 11)->setCheckable(true);
    makeAction("AisHex", "Show Position in Hex", "Show Position in Hex", none, 12)
        ->setCheckable(true);
    makeAction("AisNum", "Show Position in Num", "Show Position in Num", none, 13)
        ->setCheckable(true);
    makeAction("AoutPut", "OutPut To Txt File", "OutPut To Txt File", none, 8);
    makeAction("AadjustColWideth", "Adjust All Column Width", "Adjust All Column Width", none, -1);
    makeAction("AautoIndex", "ReArrange List", "ReArrange List", none, -1);
    makeAction("AgotoOffSet", "Goto OffSet", "Goto OffSet", ctrl(Qt::Key_G), 14);
    makeAction("AReplacedefaulttype", "Replace Default Type", "Replace Default Type", none, -1);
    makeAction("AsortTypeList", "Sort Type List", "Sort Type List", none, 21);
    makeAction("AsortAll", "Sort All Type List", "Sort All Type List", none, 22);
    makeAction("AfileInfo", "File Information...", "File Information...", none, 18);
    makeAction("AsplitFile", "SplitFile...", "Split File...", none, -1);
    makeAction("ACutBlank", "Cut Blank", QString(), none, 20);
    makeAction("AcanEdit", "Can Edit Data", "Can Edit Data", none, 6)->setCheckable(true);
    makeAction("AcanResetType", "Can Reset Structure", "Can Reset Structure", none, 5)
        ->setCheckable(true);
    makeAction("AcanEditType", "Can Edit Structure", "Can Edit Structure", none, 19)
        ->setCheckable(true);
    makeAction("AaddRecord", "Add Record", "Add Record", none, -1);
    makeAction("AdelRecord", "Delete Record", "Delete Record", none, -1);
    makeAction("Ahelp", "Help Contents", "Help Contents", QKeySequence(Qt::Key_F1), -1);
    makeAction("AhelpButton", "Help", "Help", none, 4);
    makeAction("Ahomepage", "Homepage", "Homepage", none, -1);
    makeAction("Aabout", "about", "about", none, -1);

    action(QStringLiteral("ShowCtrl"))->setChecked(true);
    action(QStringLiteral("AtoolBar"))->setChecked(true);
    action(QStringLiteral("AisShowNum"))->setChecked(true);
    action(QStringLiteral("AisHex"))->setChecked(true);
    action(QStringLiteral("AsaveType"))->setEnabled(false);
    action(QStringLiteral("AopenType"))->setEnabled(false);
    action(QStringLiteral("AsaveData"))->setEnabled(false);
    action(QStringLiteral("AaddRecord"))->setEnabled(false);
    action(QStringLiteral("AdelRecord"))->setEnabled(false);
}

void Tmain::createMenus() {
    auto a = [this](const char* n) { return action(QString::fromLatin1(n)); };
    m_fileMenu = menuBar()->addMenu(QStringLiteral("File "));
    m_fileMenu->setObjectName(QStringLiteral("File1"));
    m_fileMenu->setToolTipsVisible(true);
    m_fixedFileEntries = {a("AopenFile"), a("AnewFile"), a("AnewWindow"), a("AsaveData"),
                          a("AsaveAs")};
    auto* sep1 = new QAction(this);
    sep1->setSeparator(true);
    m_fixedFileEntries << sep1 << a("AopenType") << a("useDefaultType") << a("AsaveType")
                       << a("AsaveTypeAs");
    auto* sep2 = new QAction(this);
    sep2->setSeparator(true);
    m_fixedFileEntries << sep2 << a("AsaveAll") << a("AcloseAll");

    m_editMenu = menuBar()->addMenu(QStringLiteral("Edit "));
    m_editMenu->setObjectName(QStringLiteral("Edit1"));
    // Until the control panel brings its own actions the Edit menu lists its
    // commands disabled.
    for (const char* caption :
         {"New Segment", "Copy Segment", "Delete Segment", "Insert Segment", "Past Segment",
          "Cut Segment", "", "Add a Type", "Copy Type", "Delete Type", "Insert Type", "Paste Type",
          "Cut Type", "Select All Type", "Converts Type"}) {
        auto* e = new QAction(QString::fromLatin1(caption), this);
        if (!*caption)
            e->setSeparator(true);
        else
            e->setEnabled(false);
        m_editPlaceholders << e;
    }

    QMenu* view = menuBar()->addMenu(QStringLiteral("View "));
    view->setObjectName(QStringLiteral("View1"));
    view->addActions({a("ShowCtrl"), a("ShowHint"), a("showFind"), a("showComp"), a("AtoolBar")});
    QMenu* index = view->addMenu(QStringLiteral("Index View"));
    index->setObjectName(QStringLiteral("IndexView1"));
    index->addActions({a("AisShowNum"), a("AisHex"), a("AisNum")});
    // Shown as radio entries; choosing the checked one switches to the other
    // (choosePositionFormat), so the group allows none checked in between.
    auto* formats = new QActionGroup(this);
    formats->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    formats->addAction(a("AisHex"));
    formats->addAction(a("AisNum"));

    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools "));
    tools->setObjectName(QStringLiteral("Tools1"));
    tools->addActions({a("AoutPut"), a("AadjustColWideth"), a("AautoIndex"), a("AgotoOffSet"),
                       a("AReplacedefaulttype"), a("AsortTypeList"), a("AsortAll"), a("AfileInfo"),
                       a("AsplitFile"), a("ACutBlank")});

    QMenu* options = menuBar()->addMenu(QStringLiteral("Options "));
    options->setObjectName(QStringLiteral("Options1"));
    options->addActions({a("AcanEdit"), a("AcanResetType"), a("AcanEditType")});

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help "));
    help->setObjectName(QStringLiteral("Help1"));
    help->addAction(a("Ahelp"));
    help->addSeparator();
    help->addAction(a("Ahomepage"));
    help->addSeparator();
    help->addAction(a("Aabout"));

    m_recordMenu = new QMenu(this);
    m_recordMenu->setObjectName(QStringLiteral("RecordMenu"));
    m_recordMenu->addActions({a("AaddRecord"), a("AdelRecord")});

    rebuildFileMenu();
}

void Tmain::createToolBar() {
    auto a = [this](const char* n) { return action(QString::fromLatin1(n)); };
    m_toolBar = addToolBar(QStringLiteral("ToolBar"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));
    m_toolBar->addActions({a("AopenFile"), a("AnewFile"), a("AsaveAll"), a("AsaveData"),
                           a("AsaveType"), a("AoutPut")});
    m_toolBar->addSeparator();
    m_toolBar->addActions({a("ShowCtrl"), a("ShowHint"), a("showFind"), a("showComp")});
    m_toolBar->addSeparator();
    m_toolBar->addActions({a("AgotoOffSet"), a("AfileInfo")});
    m_toolBar->addSeparator();
    m_toolBar->addAction(a("AisShowNum"));
    m_toolBar->addSeparator();
    m_toolBar->addActions({a("AisHex"), a("AisNum")});
    m_toolBar->addSeparator();
    m_toolBar->addActions({a("AcanEdit"), a("AcanResetType"), a("AcanEditType")});
    m_toolBar->addSeparator();
    m_toolBar->addAction(a("AhelpButton"));
    m_toolBar->addSeparator();
    for (QAction* act : m_toolBar->actions())
        if (QWidget* w = m_toolBar->widgetForAction(act))
            w->setMinimumWidth(25);
    // The tool bar's own hide (context menu) keeps the View entry in step.
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden())
            action(QStringLiteral("AtoolBar"))->setChecked(visible);
    });
}

void Tmain::connectActions() {
    auto on = [this](const char* name, auto slot) {
        connect(action(QString::fromLatin1(name)), &QAction::triggered, this, slot);
    };
    Document* d = m_doc;
    on("AopenFile", [d] { d->openFileCommand(); });
    on("AnewFile", [d] { d->newFileCommand(); });
    on("AnewWindow", [d] { d->openInNewWindowCommand(); });
    on("AsaveData", [d] { d->saveFileCommand(); });
    on("AsaveAs", [d] { d->saveAsCommand(); });
    on("AopenType", [d] { d->openTypeCommand(); });
    on("useDefaultType", [d] { d->useDefaultTypeCommand(); });
    on("AsaveType", [d] { d->saveTypeCommand(); });
    on("AsaveTypeAs", [d] { d->saveTypeAsCommand(); });
    on("AsaveAll", [d] { d->saveAllCommand(); });
    on("AcloseAll", [d] { d->closeAllCommand(); });
    on("AReplacedefaulttype", [d] { d->replaceDefaultTypeCommand(); });
    on("Aexit", [this] { close(); });
    on("ShowCtrl", [this] { toggleControlPanel(); });
    on("ShowHint", [this] { toggleDataHint(); });
    on("showFind", [this] { toggleFind(); });
    on("showComp", [this] { toggleCompare(); });
    on("AtoolBar",
       [this] { m_toolBar->setVisible(action(QStringLiteral("AtoolBar"))->isChecked()); });
    on("AisShowNum", [this] { toggleShowIndexNum(); });
    on("AisHex", [this] { choosePositionFormat(true); });
    on("AisNum", [this] { choosePositionFormat(false); });
    on("AoutPut", [this] { outputText(); });
    on("AadjustColWideth", [this] { adjustColumnWidths(); });
    on("AautoIndex", [this] { autoIndex(); });
    on("AgotoOffSet", [this] { gotoOffset(); });
    on("AsortTypeList", [this] { sortTypeList(); });
    on("AsortAll", [this] { sortAll(); });
    on("AfileInfo", [this] { fileInformation(); });
    on("AsplitFile", [this] { splitFile(); });
    on("ACutBlank", [this] { cutBlank(); });
    on("AcanEdit", [this] { toggleCanEditData(); });
    on("AcanResetType", [this] { toggleCanResetStructure(); });
    on("AcanEditType", [this] { toggleCanEditStructure(); });
    on("AaddRecord", [this] { addRecords(); });
    on("AdelRecord", [this] { deleteRecords(); });
    on("Ahelp", [this] { showHelpTopic(this, QString()); });
    on("AhelpButton", [this] { showHelpTopic(this, QString()); });
    on("Ahomepage", [this] { showWebAddress(this, QString::fromLatin1(platform::kHomepage)); });
    on("Aabout", [this] { showAbout(); });
}

void Tmain::connectDocument() {
    connect(m_doc, &Document::actionStatesChanged, this, &Tmain::updateActionStates);
    connect(m_doc, &Document::captionChanged, this, &Tmain::updateCaption);
    connect(m_doc, &Document::recentListsChanged, this, &Tmain::rebuildFileMenu);
    connect(m_doc, &Document::structureReplaced, this, &Tmain::structureReplaced);
    connect(m_doc, &Document::documentReplaced, this, &Tmain::documentReplaced);
    connect(m_doc, &Document::aboutToWriteTypeFile, this,
            [this] { m_pane->saveAllColumnWidths(); });
    connect(m_doc, &Document::optionsChanged, this, &Tmain::optionsChanged);
    connect(m_doc, &Document::copyProgressChanged, m_copyBar, &QProgressBar::setValue);
}

void Tmain::createCopyProgress() {
    m_copyLabel = new QLabel;
    m_copyLabel->setObjectName(QStringLiteral("copyLabel"));
    m_copyBar = new QProgressBar;
    m_copyBar->setObjectName(QStringLiteral("copyProgress"));
    m_copyBar->setRange(0, 1000);
    m_copyBar->setMaximumWidth(160);
    m_copyCancel = new QToolButton;
    m_copyCancel->setObjectName(QStringLiteral("copyCancel"));
    m_copyCancel->setText(QStringLiteral("Cancel"));
    connect(m_copyCancel, &QToolButton::clicked, m_doc, &Document::cancelCopy);
    for (QWidget* w : {static_cast<QWidget*>(m_copyLabel), static_cast<QWidget*>(m_copyBar),
                       static_cast<QWidget*>(m_copyCancel)}) {
        statusBar()->addPermanentWidget(w);
        w->hide();
    }
}

void Tmain::showCopyProgress() {
    const bool copying = m_doc->copying();
    if (copying) {
        m_copyLabel->setText(QStringLiteral("Opening ") +
                             QFileInfo(m_doc->dataFileName()).fileName());
        m_copyLabel->setToolTip(m_doc->dataFileName());
        m_copyBar->setValue(m_doc->copyProgress());
    }
    m_copyLabel->setVisible(copying);
    m_copyBar->setVisible(copying);
    m_copyCancel->setVisible(copying);
}

// --- document display ------------------------------------------------------

void Tmain::structureReplaced() {
    m_pane->forgetDocument();
    for (auto& seg : m_doc->segments())
        m_pane->createSegmentGrids(seg.get());
    syncOptionChecks();
    m_panel->structureReplaced();
    if (!m_doc->isOpen()) {
        m_panel->drawSegmentBarOnly();
        m_panel->setIndicatorsEnabled(false);
    }
}

void Tmain::documentReplaced() {
    m_pane->forgetDocument();
    m_pane->updateEditOptions();
    showCurrentSegment(true);
}

void Tmain::showCurrentSegment(bool applyWidths) {
    vm::Segment* current = m_doc->segments().current();
    if (!current && !m_doc->segments().empty()) {
        current = &m_doc->segments()[0];
        m_doc->segments().setCurrent(current);
    }
    if (current) {
        m_pane->layoutSegmentGrids(current);
        if (applyWidths)
            m_pane->refreshSegmentGrid(current, true);
    } else {
        m_pane->updatePositionBar();
    }
}

void Tmain::optionsChanged() {
    syncOptionChecks();
    m_panel->reloadFieldFrame();
    m_panel->refreshActions();
    updateActionStates(true);
}

void Tmain::syncOptionChecks() {
    const vm::ViewSettings& v = m_doc->viewSettings();
    action(QStringLiteral("AcanEdit"))->setChecked(v.canEditData());
    action(QStringLiteral("AcanResetType"))->setChecked(v.canResetStructure());
    action(QStringLiteral("AcanEditType"))->setChecked(v.canEditStructure());
    action(QStringLiteral("AisShowNum"))->setChecked(v.showIndexNum());
    action(QStringLiteral("AisNum"))->setChecked(v.positionFormat() == 2);
    action(QStringLiteral("AisHex"))->setChecked(v.positionFormat() != 2);
}

void Tmain::updateActionStates(bool refreshPanel) {
    if (refreshPanel)
        m_panel->refreshSegmentEditors();
    const bool open = m_doc->isOpen();
    for (const char* name :
         {"AopenType",      "AautoIndex",    "AadjustColWideth", "AoutPut",
          "useDefaultType", "AsaveTypeAs",   "showFind",         "ShowHint",
          "AcanEdit",       "AcanResetType", "AcanEditType",     "AReplacedefaulttype",
          "showComp",       "AisHex",        "AisNum",           "AisShowNum",
          "AgotoOffSet",    "AsortTypeList", "AsortAll",         "AcloseAll",
          "AsaveAs",        "AfileInfo"})
        action(QString::fromLatin1(name))->setEnabled(open);
    if (m_doc->viewSettings().canEditStructure()) {
        action(QStringLiteral("AsortTypeList"))->setEnabled(false);
        action(QStringLiteral("AsortAll"))->setEnabled(false);
        action(QStringLiteral("ACutBlank"))->setEnabled(open);
    } else {
        action(QStringLiteral("ACutBlank"))->setEnabled(false);
    }
    action(QStringLiteral("AsaveData"))->setEnabled(m_doc->dataChanged());
    action(QStringLiteral("AsaveType"))->setEnabled(m_doc->typeChanged());
    action(QStringLiteral("AsaveAll"))->setEnabled(m_doc->dataChanged() || m_doc->typeChanged());
    // Until the working copy is complete nothing may write the data or the
    // user's file, nor switch to a mode that would.
    if (m_doc->copying())
        for (const char* name :
             {"AsaveData", "AsaveAs", "AsaveAll", "AcanResetType", "AcanEditType", "ACutBlank"})
            action(QString::fromLatin1(name))->setEnabled(false);
    showCopyProgress();
}

void Tmain::updateCaption() {
    setWindowTitle(m_doc->captionText());
}

void Tmain::rebuildFileMenu() {
    if (!m_fileMenu)
        return;
    // Entries the menu made itself (recent paths, separators) are deleted
    // later: a recent entry may be the one whose command is running now.
    for (QAction* old : m_fileMenu->actions()) {
        m_fileMenu->removeAction(old);
        if (old->parent() == m_fileMenu)
            old->deleteLater();
    }
    m_fileMenu->addActions(m_fixedFileEntries);
    m_fileMenu->addSeparator();
    auto addRecent = [this](const QStringList& list) {
        for (auto it = list.crbegin(); it != list.crend(); ++it) {
            const QString path = *it;
            // The caption is the path as it is: an ampersand is no shortcut mark.
            auto* e = new QAction(QString(path).replace(QLatin1Char('&'), QStringLiteral("&&")),
                                  m_fileMenu);
            e->setObjectName(QStringLiteral("recentEntry"));
            connect(e, &QAction::triggered, this, [this, path] { m_doc->openDataWithType(path); });
            m_fileMenu->addAction(e);
        }
    };
    addRecent(m_doc->recentTypes());
    m_fileMenu->addSeparator();
    addRecent(m_doc->recentFiles());
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(action(QStringLiteral("Aexit")));

    // The Edit menu shows the control panel's actions when it has them.
    for (QAction* old : m_editMenu->actions()) {
        m_editMenu->removeAction(old);
        if (old->parent() == m_editMenu)
            old->deleteLater();
    }
    const QList<QAction*> edit = m_panel->editMenuActions();
    if (edit.isEmpty()) {
        m_editMenu->addActions(m_editPlaceholders);
    } else {
        for (QAction* e : edit)
            if (e)
                m_editMenu->addAction(e);
            else
                m_editMenu->addSeparator();
    }
}

bool Tmain::requireDataStream() {
    if (m_doc->dataStream())
        return true;
    prompter().inform(this, QStringLiteral("No File Open"));
    return false;
}

QString Tmain::statusText() const {
    return m_pane->statusText();
}

void Tmain::setStatusText(const QString& text) {
    m_pane->setStatusText(text);
}

QWidget* Tmain::makePanelPlaceholder() {
    auto* placeholder =
        new QLabel(QStringLiteral("The control panel") + QString::fromLatin1(kNotAvailable));
    placeholder->setObjectName(QStringLiteral("TctrlsPlaceholder"));
    placeholder->setWordWrap(true);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setMargin(12);
    placeholder->setEnabled(false);
    return placeholder;
}

void Tmain::notAvailable(const QString& window) {
    prompter().inform(this, window + QString::fromLatin1(kNotAvailable));
}

// --- GridHost --------------------------------------------------------------

vm::FileStream* Tmain::dataStream() {
    return m_doc->dataStream();
}

bool Tmain::canWriteData() const {
    return !m_doc->copying();
}

vm::SegmentList& Tmain::segments() {
    return m_doc->segments();
}

vm::ViewSettings& Tmain::viewSettings() {
    return m_doc->viewSettings();
}

const vm::Locale& Tmain::locale() const {
    return m_doc->locale();
}

bool Tmain::gridFillEnabled() const {
    return m_doc->gridFillEnabled();
}

void Tmain::setDataChanged(bool data, bool type) {
    if (data)
        m_doc->setDataChanged(true, false);
    if (type)
        m_doc->markStructureChanged();
}

void Tmain::selectSegment(vm::Segment* segment) {
    if (m_panel->selectSegment(segment))
        return;
    if (!segment || m_doc->segments().indexOf(segment) < 0)
        return;
    m_doc->segments().setCurrent(segment);
    m_pane->layoutSegmentGrids(segment);
}

void Tmain::locatePosition(std::int64_t offset) {
    locatePosition(offset, true);
}

void Tmain::locatePosition(std::int64_t offset, bool absolute) {
    emit locateRequested(offset, absolute);
    vm::SegmentList& list = m_doc->segments();
    const vm::FileStream* data = m_doc->dataStream();
    if (!data || !list.current())
        return;
    const vm::Location where =
        vm::locateOffset(list, list.current(), offset, data->size(), absolute);
    if (!where.segment) {
        setStatusText(QString::fromStdString(vm::locateMissText(where, offset)));
        m_locateFailed = true;
        return;
    }
    if (where.segment != list.current())
        selectSegment(where.segment);
    if (m_locateFailed) {
        m_locateFailed = false;
        setStatusText(QString());
    }
    const int record = static_cast<int>(std::min<std::int64_t>(where.record, INT_MAX - 1));
    m_pane->showRecord(where.segment, record);
    if (where.segment->anomaly)
        if (SegmentGrid* g = m_pane->mainGrid(where.segment))
            setStatusText(QString::number(g->rowCount()));
}

void Tmain::entryDefinitionChanged(vm::Segment* segment, int entryIndex) {
    m_panel->entryDefinitionChanged(segment, entryIndex);
}

// --- start and end ---------------------------------------------------------

void Tmain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    m_panel->setIndicatorsEnabled(false);
    if (!m_commandLineFile.isEmpty()) {
        const QString file = m_commandLineFile;
        // After the window has painted, so that messages have a parent on screen.
        QTimer::singleShot(0, this, [this, file] { m_doc->openDataWithType(file); });
    }
}

void Tmain::closeEvent(QCloseEvent* event) {
    if (!m_doc->confirmSaveChanges()) {
        event->ignore();
        return;
    }
    m_tools->stopLongOperations();
    m_doc->stopCopy();
    bool showSegList = m_doc->showSegList();
    bool showTypeCtrl = m_doc->showTypeCtrl();
    m_panel->readPanelSettings(showSegList, showTypeCtrl);
    m_doc->setShowSegList(showSegList);
    m_doc->setShowTypeCtrl(showTypeCtrl);
    m_doc->saveSettings();
    event->accept();
}

// --- options ---------------------------------------------------------------

void Tmain::toggleCanEditData() {
    vm::ViewSettings& v = m_doc->viewSettings();
    v.setCanEditData(!v.canEditData() && m_doc->dataStream());
    m_pane->updateEditOptions();
    action(QStringLiteral("AcanEdit"))->setChecked(v.canEditData());
}

void Tmain::toggleCanResetStructure() {
    vm::ViewSettings& v = m_doc->viewSettings();
    v.setCanResetStructure(!v.canResetStructure());
    if (v.canResetStructure()) {
        v.setCanEditStructure(false);
        action(QStringLiteral("AcanEditType"))->setChecked(false);
    }
    if (!m_doc->isOpen())
        v.setCanResetStructure(false);
    m_panel->reloadFieldFrame();
    m_panel->refreshActions();
    action(QStringLiteral("AcanResetType"))->setChecked(v.canResetStructure());
    updateActionStates(true);
}

bool Tmain::checkStructure(bool clearTypeList) {
    m_structHint->clearSegList();
    if (clearTypeList)
        m_structHint->clearTypeList();
    fillSegmentFindings(*m_doc, *m_structHint);
    return m_structHint->segRowCount() > 0;
}

void Tmain::toggleCanEditStructure() {
    vm::ViewSettings& v = m_doc->viewSettings();
    if (!v.canEditStructure() && m_doc->isOpen() && checkStructure(true)) {
        bool allowed = false;
        if (m_structHint->segListHasError()) {
            m_structHint->setExplanation(kErrorExplanation);
            prompter().runModal(*m_structHint);
        } else {
            m_structHint->setExplanation(kWarningExplanation);
            allowed = prompter().runModal(*m_structHint) == QDialog::Accepted;
        }
        if (!allowed) {
            action(QStringLiteral("AcanEditType"))->setChecked(false);
            return;
        }
    }
    v.setCanEditStructure(!v.canEditStructure());
    if (v.canEditStructure()) {
        v.setCanResetStructure(false);
        action(QStringLiteral("AcanResetType"))->setChecked(false);
    }
    if (!m_doc->isOpen())
        v.setCanEditStructure(false);
    m_panel->reloadFieldFrame();
    m_panel->refreshActions();
    action(QStringLiteral("AcanEditType"))->setChecked(v.canEditStructure());
    updateActionStates(true);
}

void Tmain::toggleShowIndexNum() {
    const bool on = action(QStringLiteral("AisShowNum"))->isChecked();
    m_doc->viewSettings().setShowIndexNum(on);
    if (m_doc->segments().current())
        m_pane->layoutSegmentGrids(m_doc->segments().current());
}

void Tmain::choosePositionFormat(bool hexChosen) {
    QAction* hex = action(QStringLiteral("AisHex"));
    QAction* num = action(QStringLiteral("AisNum"));
    // The chosen entry has already flipped its own check.
    if (hexChosen)
        num->setChecked(!hex->isChecked());
    else
        hex->setChecked(!num->isChecked());
    m_doc->viewSettings().setPositionFormat(hex->isChecked() ? 1 : 2);
    if (m_doc->segments().current())
        m_pane->layoutSegmentGrids(m_doc->segments().current());
}

// --- windows ---------------------------------------------------------------

void Tmain::toggleControlPanel() {
    if (!action(QStringLiteral("ShowCtrl"))->isChecked()) {
        m_ctrlDock->close();
        return;
    }
    m_ctrlDock->show();
    if (!m_ctrlDock->isFloating() && m_ctrlDock->width() < 10)
        resizeDocks({m_ctrlDock}, {kDockWidth}, Qt::Horizontal);
}

void Tmain::toggleDataHint() {
    QAction* a = action(QStringLiteral("ShowHint"));
    if (!m_tools->setDataHintVisible(a->isChecked())) {
        a->setChecked(false);
        notAvailable(QStringLiteral("The Data Hint window"));
    }
}

void Tmain::toggleFind() {
    QAction* a = action(QStringLiteral("showFind"));
    if (!m_doc->dataStream()) {
        a->setChecked(!a->isChecked());
        requireDataStream();
        return;
    }
    if (a->isChecked()) {
        if (action(QStringLiteral("showComp"))->isChecked()) {
            m_tools->setCompareVisible(false);
            action(QStringLiteral("showComp"))->setChecked(false);
        }
    }
    if (!m_tools->setFindVisible(a->isChecked())) {
        a->setChecked(false);
        notAvailable(QStringLiteral("The Find window"));
    }
}

void Tmain::toggleCompare() {
    QAction* a = action(QStringLiteral("showComp"));
    if (!m_doc->dataStream()) {
        a->setChecked(!a->isChecked());
        requireDataStream();
        return;
    }
    if (a->isChecked() && action(QStringLiteral("showFind"))->isChecked()) {
        m_tools->setFindVisible(false);
        action(QStringLiteral("showFind"))->setChecked(false);
    }
    if (!m_tools->setCompareVisible(a->isChecked())) {
        a->setChecked(false);
        notAvailable(QStringLiteral("The Compare window"));
    }
}

void Tmain::gotoOffset() {
    if (!m_doc->dataStream())
        return;
    if (!m_tools->showGotoOffset())
        notAvailable(QStringLiteral("The Goto OffSet window"));
}

void Tmain::fileInformation() {
    if (!m_tools->showFileInformation(m_doc->dataFileName(), m_doc->typeFileName()))
        notAvailable(QStringLiteral("The File Information window"));
}

void Tmain::splitFile() {
    if (!m_tools->showSplitFile(m_doc->dataFileName()))
        notAvailable(QStringLiteral("The Split File window"));
}

void Tmain::showRecordMenu(vm::Segment* segment, int row, const QPoint& globalPos) {
    if (!segment)
        return;
    if (segment != m_doc->segments().current())
        selectSegment(segment);
    // The title row, or the space below the last row, stands for appending.
    int record = std::max(row - 1, -1);
    bool append = false;
    const SegmentGrid* g = m_pane->mainGrid(segment);
    if (record < 0 && g && g->rowCount() > 1) {
        // The last record; a short tail after it has a row of its own but is
        // no record.
        record = g->rowCount() - 2;
        if (!segment->anomaly)
            record = std::min(record, std::max(segment->recordCount - 1, 0));
        append = true;
    }
    if (segment->anomaly) {
        m_panel->showFieldMenu(record, globalPos);
        return;
    }
    m_delRecord->setDefaultIndex(record);
    m_addRecord->setInsertPosition(record, append);
    QAction* add = action(QStringLiteral("AaddRecord"));
    QAction* del = action(QStringLiteral("AdelRecord"));
    add->setEnabled(false);
    del->setEnabled(false);
    if (m_doc->viewSettings().canEditStructure() && !segment->entries.empty()) {
        add->setEnabled(true);
        del->setEnabled(segment->recordCount > 0);
    }
    m_recordMenu->popup(globalPos);
}

void Tmain::addRecords() {
    runRecordEdit(
        *m_addRecord, [this](const vm::Segment& s) { m_addRecord->prepare(s); },
        [this](vm::Segment& s, QString* error) {
            return addRecordsInDocument(*m_doc, s, m_addRecord->request(), this, error);
        });
}

void Tmain::deleteRecords() {
    runRecordEdit(
        *m_delRecord, [this](const vm::Segment& s) { m_delRecord->prepare(s); },
        [this](vm::Segment& s, QString* error) {
            return deleteRecordsInDocument(*m_doc, s, m_delRecord->request(), this, error);
        });
}

void Tmain::runRecordEdit(QDialog& dialog, const std::function<void(const vm::Segment&)>& prepare,
                          const std::function<bool(vm::Segment&, QString*)>& run) {
    vm::Segment* s = m_doc->segments().current();
    if (!s || s->anomaly)
        return;
    prepare(*s);
    if (prompter().runModal(dialog) != QDialog::Accepted)
        return;
    QString error;
    if (!run(*s, &error)) {
        prompter().error(this, error);
        return;
    }
    recordsChanged();
}

void Tmain::recordsChanged() {
    m_panel->refreshSegmentRows();
    m_panel->showCurrentSegment(true);
    showCurrentSegment(true);
    // The segments behind the edited one moved: the segment map too.
    m_panel->redrawPositionBars(true);
}

void Tmain::showAbout() {
    prompter().runModal(*m_about);
}

// --- tools -----------------------------------------------------------------

void Tmain::outputText() {
    const QString name =
        prompter().saveFileName(this, QStringLiteral("OutPut To Txt File"),
                                QStringLiteral("type files (*.txt);;All files (*.*)"));
    if (name.isEmpty())
        return;
    if (QFileInfo::exists(name) &&
        prompter().ask(this, QStringLiteral("Warning "),
                       QStringLiteral("Are You Sure. ") + name +
                           QStringLiteral(" Is Exist. Replace It ?")) != Prompter::Answer::Yes)
        return;
    QString error;
    if (!writeSegmentsAsText(*m_doc, name, this, &error)) {
        prompter().error(this, error);
        return;
    }
    // Segments may have been cut to the file's end.
    showCurrentSegment(false);
    // A FIFO or a device got the text; there is no file to show.
    if (!vm::writesInPlace(toNative(name)))
        platform::openInTextEditor(name);
}

void Tmain::adjustColumnWidths() {
    vm::Segment* s = m_doc->segments().current();
    if (!s || s->anomaly)
        return;
    for (int i = 0; i < static_cast<int>(s->entries.size()); ++i)
        m_pane->fitColumnWidth(s, i);
}

void Tmain::autoIndex() {
    const auto answer = prompter().ask(
        this, QStringLiteral("Warning"),
        QStringLiteral(
            "This Command Will Arrange The Active Segment's All TypeList And change This "
            "Position! "));
    vm::Segment* s = m_doc->segments().current();
    if (answer == Prompter::Answer::Yes && s) {
        if (vm::packEntries(*s, m_panel->fieldDisplayOrder(*s))) {
            m_doc->markStructureChanged();
            m_pane->refreshSegmentGrid(s, false);
        } else {
            prompter().error(this, QStringLiteral("The fields do not fit end to end: a field can "
                                                  "start no further than 65535 bytes into its "
                                                  "record. Nothing was changed."));
        }
    }
    m_panel->refreshFieldRows();
    m_panel->redrawPositionBars(true);
}

void Tmain::sortTypeList() {
    vm::Segment* s = m_doc->segments().current();
    if (!s)
        return;
    vm::sortTypeEntries(*s);
    m_panel->showCurrentSegment(true);
    showCurrentSegment(true);
    m_doc->markStructureChanged();
    m_panel->redrawPositionBars(true);
}

void Tmain::sortAll() {
    vm::sortSegments(m_doc->segments());
    if (!m_doc->segments().empty())
        m_doc->segments().setCurrent(&m_doc->segments()[0]);
    m_panel->rebuildSegmentList();
    m_panel->showCurrentSegment(true);
    showCurrentSegment(true);
}

void Tmain::cutBlank() {
    if (!m_doc->dataStream())
        return;
    checkStructure(true);
    if (m_structHint->segListHasError()) {
        m_structHint->setExplanation(kErrorExplanation);
        prompter().runModal(*m_structHint);
        return;
    }
    if (prompter().ask(
            this, QStringLiteral("Warning"),
            QStringLiteral("All The Area Not defined Will be Deleted, Are You Sure? ")) !=
        Prompter::Answer::Yes)
        return;
    QString error;
    if (!cutBlankInDocument(*m_doc, this, &error)) {
        if (!error.isEmpty())
            prompter().error(this, error);
        return;
    }
    for (auto& seg : m_doc->segments())
        m_pane->createSegmentGrids(seg.get());
    m_panel->structureReplaced();
    showCurrentSegment(true);
    updateActionStates(true);
}
