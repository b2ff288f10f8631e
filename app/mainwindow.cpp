#include "mainwindow.h"

#include <algorithm>
#include <climits>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "aboutbox.h"
#include "checks.h"
#include "docking.h"
#include "document.h"
#include "documentfiles.h"
#include "editstructhint.h"
#include "helptopic.h"
#include "icons.h"
#include "locate.h"
#include "model.h"
#include "outputfile.h"
#include "platform.h"
#include "progresswindow.h"
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

// Every entry of the menus and the tool bar: object name, caption, hint,
// shortcut (Ctrl with a key, or a plain key), picture of the image list
// (-1: none), and whether it is checked on and off.
struct ActionRow {
    MainAction which;
    const char* name;
    const char* caption;
    const char* hint;
    QKeyCombination key;
    int image;
    bool checkable;
};

constexpr QKeyCombination kNoKey{};

QKeyCombination ctrl(Qt::Key k) {
    return Qt::CTRL | k;
}

const ActionRow kActionRows[] = {
    {MainAction::OpenFile, "AopenFile", "Open File...", "Open File...", ctrl(Qt::Key_O), 0, false},
    {MainAction::NewFile, "AnewFile", "New File...", "New File", ctrl(Qt::Key_N), 7, false},
    {MainAction::NewWindow, "AnewWindow", "Open File in New Wndow", "Open File in New Wndow",
     kNoKey, -1, false},
    {MainAction::SaveData, "AsaveData", "Save File", "Save File", kNoKey, 1, false},
    {MainAction::SaveAs, "AsaveAs", "Save As...", "Save As...", kNoKey, -1, false},
    {MainAction::OpenType, "AopenType", "Open Type File...", "Use Other Type File", kNoKey, -1,
     false},
    {MainAction::UseDefaultType, "useDefaultType", "Use Default Type File", "Use Default Type File",
     kNoKey, -1, false},
    {MainAction::SaveType, "AsaveType", "Save Type File", "Save Type File", kNoKey, 16, false},
    {MainAction::SaveTypeAs, "AsaveTypeAs", "Save type as...", "Save type as...", kNoKey, -1,
     false},
    {MainAction::SaveAll, "AsaveAll", "Save All", "Save All", ctrl(Qt::Key_S), 17, false},
    {MainAction::CloseAll, "AcloseAll", "Close All", "Close All", ctrl(Qt::Key_W), -1, false},
    {MainAction::MakeWorkingCopy, "AmakeWorkingCopy", "Make Working Copy",
     "Make the working copy again, so that the data can be changed", kNoKey, -1, false},
    {MainAction::Exit, "Aexit", "Exit", "Exit This Program", ctrl(Qt::Key_Q), -1, false},
    {MainAction::ShowCtrl, "ShowCtrl", "Show Main Control", "Show Main Control", kNoKey, 9, true},
    {MainAction::ShowHint, "ShowHint", "Show Hint Window", "Show Hint Window", ctrl(Qt::Key_H), 10,
     true},
    {MainAction::ShowFind, "showFind", "Show Find Window", "Show Find Window", ctrl(Qt::Key_F), 2,
     true},
    {MainAction::ShowCompare, "showComp", "Show Comp Window", "Compare with Another File ", kNoKey,
     3, true},
    {MainAction::ToolBar, "AtoolBar", "ToolBar", "ToolBar", kNoKey, -1, true},
    {MainAction::ShowIndexNum, "AisShowNum", "Show Index Num", "Show Index Num", kNoKey, 11, true},
    {MainAction::PositionHex, "AisHex", "Show Position in Hex", "Show Position in Hex", kNoKey, 12,
     true},
    {MainAction::PositionNum, "AisNum", "Show Position in Num", "Show Position in Num", kNoKey, 13,
     true},
    {MainAction::OutputText, "AoutPut", "OutPut To Txt File", "OutPut To Txt File", kNoKey, 8,
     false},
    {MainAction::AdjustColumnWidths, "AadjustColWideth", "Adjust All Column Width",
     "Adjust All Column Width", kNoKey, -1, false},
    {MainAction::ReArrange, "AautoIndex", "ReArrange List", "ReArrange List", kNoKey, -1, false},
    {MainAction::GotoOffset, "AgotoOffSet", "Goto OffSet", "Goto OffSet", ctrl(Qt::Key_G), 14,
     false},
    {MainAction::ReplaceDefaultType, "AReplacedefaulttype", "Replace Default Type",
     "Replace Default Type", kNoKey, -1, false},
    {MainAction::SortTypeList, "AsortTypeList", "Sort Type List", "Sort Type List", kNoKey, 21,
     false},
    {MainAction::SortAll, "AsortAll", "Sort All Type List", "Sort All Type List", kNoKey, 22,
     false},
    {MainAction::FileInfo, "AfileInfo", "File Information...", "File Information...", kNoKey, 18,
     false},
    {MainAction::SplitFile, "AsplitFile", "SplitFile...", "Split File...", kNoKey, -1, false},
    {MainAction::CutBlank, "ACutBlank", "Cut Blank", "", kNoKey, 20, false},
    {MainAction::CanEditData, "AcanEdit", "Can Edit Data", "Can Edit Data", kNoKey, 6, true},
    {MainAction::CanResetStructure, "AcanResetType", "Can Reset Structure", "Can Reset Structure",
     kNoKey, 5, true},
    {MainAction::CanEditStructure, "AcanEditType", "Can Edit Structure", "Can Edit Structure",
     kNoKey, 19, true},
    {MainAction::Help, "Ahelp", "Help Contents", "Help Contents", Qt::Key_F1, -1, false},
    {MainAction::HelpButton, "AhelpButton", "Help", "Help", kNoKey, 4, false},
    {MainAction::Homepage, "Ahomepage", "Homepage", "Homepage", kNoKey, -1, false},
    {MainAction::About, "Aabout", "about", "about", kNoKey, -1, false},
    {MainAction::Undo, "Aundo", "Undo", "Undo", ctrl(Qt::Key_Z), -1, false},
    {MainAction::Redo, "Aredo", "Redo", "Redo", kNoKey, -1, false},
    {MainAction::ExportCHeader, "AexportCHeader", "C Header…",
     "Export the structure as a C header", kNoKey, -1, false},
    {MainAction::ExportKaitai, "AexportKaitai", "Kaitai Struct…",
     "Export the structure as a Kaitai Struct description", kNoKey, -1, false},
};

// What needs an open document.
constexpr MainAction kDocumentActions[] = {
    MainAction::OpenType,          MainAction::ReArrange,        MainAction::AdjustColumnWidths,
    MainAction::OutputText,        MainAction::UseDefaultType,   MainAction::SaveTypeAs,
    MainAction::ShowFind,          MainAction::ShowHint,         MainAction::CanEditData,
    MainAction::CanResetStructure, MainAction::CanEditStructure, MainAction::ReplaceDefaultType,
    MainAction::ShowCompare,       MainAction::PositionHex,      MainAction::PositionNum,
    MainAction::ShowIndexNum,      MainAction::GotoOffset,       MainAction::SortTypeList,
    MainAction::SortAll,           MainAction::CloseAll,         MainAction::SaveAs,
    MainAction::FileInfo,          MainAction::ExportCHeader,    MainAction::ExportKaitai};

// What may not run until the working copy is complete, nor while the data
// file is shown read-only: the modes that change the data, and what needs
// them. The saves stay on: they say on the status line what they wait for.
constexpr MainAction kWritingActions[] = {MainAction::CanResetStructure,
                                          MainAction::CanEditStructure, MainAction::CutBlank};

} // namespace

Tmain::Tmain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("main"));
    setWindowIcon(icons::appIcon());

    // Start-up order: document state, views, actions, recent lists, options.
    m_doc = new Document(this);
    m_files = new DocumentFiles(*m_doc, this);

    m_pane = new RecordPane(m_doc, this);
    m_pane->setObjectName(QStringLiteral("recordPane"));
    setCentralWidget(m_pane);

    createDock();
    createActions();
    createMenus();
    rebuildEditMenu();
    createToolBar();
    connectActions();
    createCopyProgress();
    connectDocument();

    // Neither text widens the window: a long value or path is cut instead.
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("statusText"));
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_status, 1);
    // Out of the way while empty, so that a message beside it has the room.
    m_status->hide();
    connect(m_pane, &RecordPane::statusTextChanged, m_status, [this](const QString& text) {
        m_status->setText(text);
        m_status->setVisible(!text.isEmpty());
    });
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("statusMessage"));
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_message->hide();
    statusBar()->addWidget(m_message, 1);
    connect(m_doc, &Document::statusMessage, this, &Tmain::showStatusMessage);
    // Messages about the copy being made are out of date once it is there.
    connect(m_doc, &Document::copyFinished, this, [this] { showStatusMessage(QString()); });
    setAcceptDrops(true);
    connect(m_pane, &RecordPane::recordMenuRequested, this, &Tmain::showRecordMenu);
    connect(m_pane, &RecordPane::positionRequested, this,
            [this](qint64 offset) { locatePosition(offset); });

    // The secondary windows are made once and live as long as the program.
    m_structHint = new TeditStructHint(this);
    m_structHint->setTypeRowsProvider(
        [this](int segment) { return typeFindings(*m_doc, segment); });
    m_about = new Tabout(this);
    m_records = new RecordCommands(*m_doc, *m_pane, this);
    // The menu bar's record entries act on the current grid's current row.
    connect(m_editMenu, &QMenu::aboutToShow, m_records, &RecordCommands::aimAtCurrentRow);
    rebuildEditMenu();

    m_files->loadSettings();
    syncOptionChecks();
    updateActionStates();
    updateTitle();

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

TAddRecord* Tmain::addRecordDialog() const {
    return m_records->addDialog();
}

QAction* Tmain::action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

void Tmain::setPanel(std::unique_ptr<PanelHooks> panel) {
    // The dock lets go of the old panel's widget before that panel goes.
    if (m_panel && m_ctrlDock->isAncestorOf(m_panel->controlPanel())) {
        QWidget* held = m_ctrlDock->widget();
        m_ctrlDock->setWidget(nullptr);
        // A scroll area the dock put around it when the screen was short.
        if (held != m_panel->controlPanel()) {
            m_panel->controlPanel()->setParent(nullptr);
            delete held;
        }
    }
    m_panel = std::move(panel);
    if (m_panel) {
        m_ctrlDock->setWidget(m_panel->controlPanel());
        const PanelSettings s = PanelSettings::load();
        m_panel->applyPanelSettings(s.showSegList, s.showTypeCtrl);
    }
    rebuildEditMenu();
}

void Tmain::setTools(std::unique_ptr<ToolHooks> tools) {
    if (m_tools)
        m_tools->stopLongOperations();
    m_tools = std::move(tools);
}

ToolContext Tmain::toolContext() {
    auto a = [this](MainAction which) { return action(which); };
    return ToolContext{
        *m_doc,
        *m_pane,
        *this,
        [this](std::int64_t offset, bool absolute) { locatePosition(offset, absolute); },
        {a(MainAction::ShowFind), a(MainAction::ShowCompare), a(MainAction::ShowHint),
         a(MainAction::GotoOffset), a(MainAction::FileInfo), a(MainAction::SplitFile)}};
}

// --- construction ----------------------------------------------------------

void Tmain::createDock() {
    m_ctrlDock = new QDockWidget(QStringLiteral("Main Control"), this);
    m_ctrlDock->setObjectName(QStringLiteral("Tctrls"));
    dockLeft(*this, m_ctrlDock);
    resizeDocks({m_ctrlDock}, {kDockWidth}, Qt::Horizontal);
    connect(m_ctrlDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!isHidden())
            action(MainAction::ShowCtrl)->setChecked(visible || !m_ctrlDock->isHidden());
    });
}

void Tmain::createActions() {
    for (const ActionRow& r : kActionRows) {
        auto* a = new QAction(QString::fromUtf8(r.caption), this);
        a->setObjectName(QString::fromLatin1(r.name));
        if (*r.hint) {
            a->setToolTip(QString::fromUtf8(r.hint));
            a->setStatusTip(QString::fromUtf8(r.hint));
        }
        if (r.key != kNoKey)
            a->setShortcut(QKeySequence(r.key));
        if (r.image >= 0)
            a->setIcon(icons::image(r.image));
        a->setProperty("imageIndex", r.image);
        a->setCheckable(r.checkable);
        // A menu shows a checkable entry's state as a check mark only when
        // the entry draws no picture there; the tool bar keeps the picture.
        if (r.checkable && r.image >= 0)
            a->setIconVisibleInMenu(false);
        addAction(a); // shortcuts work even with the tool bar hidden
        m_actions[static_cast<std::size_t>(r.which)] = a;
    }
    for (MainAction on : {MainAction::ShowCtrl, MainAction::ToolBar, MainAction::ShowIndexNum,
                          MainAction::PositionHex})
        action(on)->setChecked(true);
    // Both keys that users of other editors reach for.
    action(MainAction::Redo)->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(ctrl(Qt::Key_Y))});
    action(MainAction::Undo)->setIcon(icons::undoIcon());
    action(MainAction::Redo)->setIcon(icons::redoIcon());
}

void Tmain::createMenus() {
    auto a = [this](MainAction which) { return action(which); };
    m_fileMenu = menuBar()->addMenu(QStringLiteral("File "));
    m_fileMenu->setObjectName(QStringLiteral("File1"));
    m_fileMenu->setToolTipsVisible(true);
    m_fileMenu->addActions({a(MainAction::OpenFile), a(MainAction::NewFile),
                            a(MainAction::NewWindow), a(MainAction::SaveData),
                            a(MainAction::SaveAs)});
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({a(MainAction::OpenType), a(MainAction::UseDefaultType),
                            a(MainAction::SaveType), a(MainAction::SaveTypeAs)});
    auto* exportMenu = m_fileMenu->addMenu(QStringLiteral("Export Structure As"));
    exportMenu->setObjectName(QStringLiteral("ExportStructureAs1"));
    exportMenu->addActions({a(MainAction::ExportCHeader), a(MainAction::ExportKaitai)});
    m_fileMenu->addSeparator();
    m_fileMenu->addActions(
        {a(MainAction::SaveAll), a(MainAction::CloseAll), a(MainAction::MakeWorkingCopy)});
    // The recent lists in submenus of their own: Exit stays at the foot of
    // the menu, where the hand expects it, however long the lists grow.
    m_fileMenu->addSeparator();
    m_recentFilesMenu = m_fileMenu->addMenu(QStringLiteral("Recent Files"));
    m_recentFilesMenu->setObjectName(QStringLiteral("RecentFiles1"));
    m_recentTypesMenu = m_fileMenu->addMenu(QStringLiteral("Recent Type Files"));
    m_recentTypesMenu->setObjectName(QStringLiteral("RecentTypes1"));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(a(MainAction::Exit));

    m_editMenu = menuBar()->addMenu(QStringLiteral("Edit "));
    m_editMenu->setObjectName(QStringLiteral("Edit1"));

    QMenu* view = menuBar()->addMenu(QStringLiteral("View "));
    view->setObjectName(QStringLiteral("View1"));
    view->addActions({a(MainAction::ShowCtrl), a(MainAction::ShowHint), a(MainAction::ShowFind),
                      a(MainAction::ShowCompare), a(MainAction::ToolBar)});
    QMenu* index = view->addMenu(QStringLiteral("Index View"));
    index->setObjectName(QStringLiteral("IndexView1"));
    index->addActions(
        {a(MainAction::ShowIndexNum), a(MainAction::PositionHex), a(MainAction::PositionNum)});
    // Shown as radio entries; choosing the checked one switches to the other
    // (choosePositionFormat), so the group allows none checked in between.
    auto* formats = new QActionGroup(this);
    formats->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    formats->addAction(a(MainAction::PositionHex));
    formats->addAction(a(MainAction::PositionNum));

    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools "));
    tools->setObjectName(QStringLiteral("Tools1"));
    tools->addActions({a(MainAction::OutputText), a(MainAction::AdjustColumnWidths),
                       a(MainAction::ReArrange), a(MainAction::GotoOffset),
                       a(MainAction::ReplaceDefaultType), a(MainAction::SortTypeList),
                       a(MainAction::SortAll), a(MainAction::FileInfo), a(MainAction::SplitFile),
                       a(MainAction::CutBlank)});

    QMenu* options = menuBar()->addMenu(QStringLiteral("Options "));
    options->setObjectName(QStringLiteral("Options1"));
    options->addActions({a(MainAction::CanEditData), a(MainAction::CanResetStructure),
                         a(MainAction::CanEditStructure)});

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help "));
    help->setObjectName(QStringLiteral("Help1"));
    help->addAction(a(MainAction::Help));
    help->addSeparator();
    help->addAction(a(MainAction::Homepage));
    help->addSeparator();
    help->addAction(a(MainAction::About));

    rebuildFileMenu();
}

void Tmain::createToolBar() {
    auto a = [this](MainAction which) { return action(which); };
    m_toolBar = addToolBar(QStringLiteral("ToolBar"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));
    const QList<QList<MainAction>> groups = {
        {MainAction::OpenFile, MainAction::NewFile, MainAction::SaveAll, MainAction::SaveData,
         MainAction::SaveType, MainAction::OutputText},
        {MainAction::Undo, MainAction::Redo},
        {MainAction::ShowCtrl, MainAction::ShowHint, MainAction::ShowFind, MainAction::ShowCompare},
        {MainAction::GotoOffset, MainAction::FileInfo},
        {MainAction::ShowIndexNum},
        {MainAction::PositionHex, MainAction::PositionNum},
        {MainAction::CanEditData, MainAction::CanResetStructure, MainAction::CanEditStructure},
        {MainAction::HelpButton}};
    for (const QList<MainAction>& group : groups) {
        for (MainAction which : group)
            m_toolBar->addAction(a(which));
        m_toolBar->addSeparator();
    }
    for (QAction* act : m_toolBar->actions())
        if (QWidget* w = m_toolBar->widgetForAction(act))
            w->setMinimumWidth(25);
    // The tool bar's own hide (context menu) keeps the View entry in step.
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden())
            action(MainAction::ToolBar)->setChecked(visible);
    });
}

void Tmain::connectActions() {
    auto on = [this](MainAction which, auto slot) {
        connect(action(which), &QAction::triggered, this, slot);
    };
    DocumentFiles* f = m_files;
    on(MainAction::OpenFile, [f] { f->openFileCommand(); });
    on(MainAction::NewFile, [f] { f->newFileCommand(); });
    on(MainAction::NewWindow, [f] { f->openInNewWindowCommand(); });
    on(MainAction::SaveData, [f] { f->saveFileCommand(); });
    on(MainAction::SaveAs, [f] { f->saveAsCommand(); });
    on(MainAction::OpenType, [f] { f->openTypeCommand(); });
    on(MainAction::UseDefaultType, [f] { f->useDefaultTypeCommand(); });
    on(MainAction::SaveType, [f] { f->saveTypeCommand(); });
    on(MainAction::SaveTypeAs, [f] { f->saveTypeAsCommand(); });
    on(MainAction::SaveAll, [f] { f->saveAllCommand(); });
    on(MainAction::CloseAll, [f] { f->closeAllCommand(); });
    on(MainAction::MakeWorkingCopy, [f] { f->remakeWorkingCopyCommand(); });
    on(MainAction::ReplaceDefaultType, [f] { f->replaceDefaultTypeCommand(); });
    on(MainAction::Exit, [this] { close(); });
    on(MainAction::ShowCtrl, [this] { toggleControlPanel(); });
    on(MainAction::ToolBar,
       [this] { m_toolBar->setVisible(action(MainAction::ToolBar)->isChecked()); });
    on(MainAction::ShowIndexNum, [this] { toggleShowIndexNum(); });
    on(MainAction::PositionHex, [this] { choosePositionFormat(true); });
    on(MainAction::PositionNum, [this] { choosePositionFormat(false); });
    on(MainAction::OutputText, [this] { outputText(); });
    on(MainAction::AdjustColumnWidths, [this] { adjustColumnWidths(); });
    on(MainAction::ReArrange, [this] { reArrange(); });
    on(MainAction::SortTypeList, [this] { sortTypeList(); });
    on(MainAction::SortAll, [this] { sortAll(); });
    on(MainAction::CutBlank, [this] { cutBlank(); });
    on(MainAction::ExportCHeader, [this] { exportStructure(StructureExport::CHeader); });
    on(MainAction::ExportKaitai, [this] { exportStructure(StructureExport::KaitaiStruct); });
    on(MainAction::CanEditData, [this] { toggleCanEditData(); });
    on(MainAction::CanResetStructure, [this] { toggleCanResetStructure(); });
    on(MainAction::CanEditStructure, [this] { toggleCanEditStructure(); });
    on(MainAction::Help, [this] { showHelpTopic(this, QString()); });
    on(MainAction::HelpButton, [this] { showHelpTopic(this, QString()); });
    on(MainAction::Homepage,
       [this] { showWebAddress(this, QString::fromLatin1(platform::kHomepage)); });
    on(MainAction::About, [this] { prompter().runModal(*m_about); });
    on(MainAction::Undo, [this] { takeStep(true); });
    on(MainAction::Redo, [this] { takeStep(false); });
}

void Tmain::connectDocument() {
    connect(m_doc, &Document::captionChanged, this, &Tmain::updateTitle);
    connect(m_doc, &Document::marksChanged, this, &Tmain::updateTitle);
    connect(m_files, &DocumentFiles::recentListsChanged, this, &Tmain::rebuildFileMenu);
    for (auto signal :
         {&Document::marksChanged, &Document::documentReplaced, &Document::structureReplaced})
        connect(m_doc, signal, this, &Tmain::updateActionStates);
    connect(m_doc, &Document::optionsChanged, this, [this] {
        syncOptionChecks();
        updateActionStates();
    });
    connect(m_doc, &Document::copyProgressChanged, m_copyBar, &QProgressBar::setValue);
    connect(m_doc, &Document::historyChanged, this, &Tmain::updateUndoActions);
    connect(m_doc, &Document::historyTrimmed, this, [this](int dropped, int remaining) {
        const auto steps = [](int n) {
            return QString::number(n) + (n == 1 ? QStringLiteral(" step") : QStringLiteral(" steps"));
        };
        showStatusMessage(QStringLiteral("The copies kept for undo reached their disk budget: the "
                                         "oldest ") +
                          steps(dropped) + QStringLiteral(" left the history; ") +
                          steps(remaining) + QStringLiteral(" can be undone."));
    });
    connect(m_doc, &Document::operationDone, this, [this](const Operation& op) {
        if (!m_doc->viewSettings().canEditStructure() || !op.changesStructure() || m_checkPending)
            return;
        // Once the command that made the change has finished with its windows.
        m_checkPending = true;
        QTimer::singleShot(0, this, &Tmain::checkAfterEdit);
    });
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
    const QString name = QFileInfo(m_doc->dataFileName()).fileName();
    if (copying) {
        m_copyLabel->setText(QStringLiteral("Opening ") + name);
        m_copyLabel->setToolTip(m_doc->dataFileName());
        m_copyBar->setValue(m_doc->copyProgress());
    } else if (m_doc->copyCancelled()) {
        // Stays in sight as long as the document cannot change.
        m_copyLabel->setText(QStringLiteral("Read-only"));
        m_copyLabel->setToolTip(m_doc->whyDataWaits());
    }
    m_copyLabel->setVisible(copying || m_doc->copyCancelled());
    m_copyBar->setVisible(copying);
    m_copyCancel->setVisible(copying);
}

// --- document display ------------------------------------------------------

void Tmain::syncOptionChecks() {
    const vm::ViewSettings& v = m_doc->viewSettings();
    action(MainAction::CanEditData)->setChecked(v.canEditData());
    action(MainAction::CanResetStructure)->setChecked(v.canResetStructure());
    action(MainAction::CanEditStructure)->setChecked(v.canEditStructure());
    action(MainAction::ShowIndexNum)->setChecked(v.showIndexNum());
    action(MainAction::PositionNum)->setChecked(v.positionFormat() == 2);
    action(MainAction::PositionHex)->setChecked(v.positionFormat() != 2);
}

void Tmain::updateActionStates() {
    const bool open = m_doc->isOpen();
    for (MainAction which : kDocumentActions)
        action(which)->setEnabled(open);
    const bool editing = m_doc->viewSettings().canEditStructure();
    if (editing) {
        action(MainAction::SortTypeList)->setEnabled(false);
        action(MainAction::SortAll)->setEnabled(false);
    }
    action(MainAction::CutBlank)->setEnabled(editing && open);
    action(MainAction::SaveData)->setEnabled(m_doc->dataChanged());
    action(MainAction::SaveType)->setEnabled(m_doc->typeChanged());
    action(MainAction::SaveAll)->setEnabled(m_doc->dataChanged() || m_doc->typeChanged());
    if (m_doc->copying() || m_doc->copyCancelled())
        for (MainAction which : kWritingActions)
            action(which)->setEnabled(false);
    // Only there when it can do something.
    QAction* remake = action(MainAction::MakeWorkingCopy);
    remake->setVisible(m_doc->copyCancelled());
    remake->setEnabled(m_doc->copyCancelled());
    showCopyProgress();
    updateUndoActions();
}

void Tmain::updateUndoActions() {
    const auto name = [](QAction* a, const QString& verb, const QString& label, bool can) {
        const QString text = can ? verb + QLatin1Char(' ') + label : verb;
        // The label names segments and fields: an ampersand in one is no
        // shortcut mark.
        a->setText(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
        a->setToolTip(text);
        a->setStatusTip(text);
        a->setEnabled(can);
    };
    name(action(MainAction::Undo), QStringLiteral("Undo"), m_doc->undoLabel(), m_doc->canUndo());
    name(action(MainAction::Redo), QStringLiteral("Redo"), m_doc->redoLabel(), m_doc->canRedo());
}

void Tmain::takeStep(bool backwards) {
    QString error;
    const Operation* step = backwards ? m_doc->undo(&error) : m_doc->redo(&error);
    if (!step) {
        if (!error.isEmpty())
            prompter().error(this, error);
        return;
    }
    // The cell is shown where it changed back (or again).
    if (const auto* bytes = std::get_if<change::Bytes>(&step->change))
        locatePosition(bytes->offset);
    setStatusText((backwards ? QStringLiteral("Undone: ") : QStringLiteral("Redone: ")) +
                  step->label);
}

void Tmain::updateTitle() {
    setWindowTitle(QStringLiteral("[*]") + m_doc->captionText());
    setWindowModified(m_doc->dataChanged() || m_doc->typeChanged());
}

void Tmain::showStatusMessage(const QString& text) {
    m_message->setText(text);
    m_message->setToolTip(text);
    m_message->setVisible(!text.isEmpty());
}

QString Tmain::statusMessage() const {
    return m_message->text();
}

void Tmain::rebuildFileMenu() {
    auto fill = [this](QMenu* menu, const QStringList& list) {
        // The old entries are deleted later: one of them may be the entry
        // whose command is running now.
        for (QAction* old : menu->actions()) {
            menu->removeAction(old);
            old->deleteLater();
        }
        for (auto it = list.crbegin(); it != list.crend(); ++it) {
            const QString path = *it;
            // The caption is the path as it is: an ampersand is no shortcut mark.
            auto* e =
                new QAction(QString(path).replace(QLatin1Char('&'), QStringLiteral("&&")), menu);
            e->setObjectName(QStringLiteral("recentEntry"));
            connect(e, &QAction::triggered, this,
                    [this, path] { m_files->openDataWithType(path); });
            menu->addAction(e);
        }
        menu->setEnabled(!list.isEmpty());
    };
    fill(m_recentFilesMenu, m_files->recentFiles());
    fill(m_recentTypesMenu, m_files->recentTypes());
}

void Tmain::rebuildEditMenu() {
    m_editMenu->clear();
    m_editMenu->addActions({action(MainAction::Undo), action(MainAction::Redo)});
    m_editMenu->addSeparator();
    if (m_panel) {
        m_editMenu->addActions(m_panel->editMenuActions());
        m_editMenu->addSeparator();
    }
    if (m_records) {
        m_editMenu->addActions(m_records->actions());
        m_editMenu->addSeparator();
        m_editMenu->addActions(m_records->tableActions());
    }
}

QString Tmain::statusText() const {
    return m_pane->statusText();
}

void Tmain::setStatusText(const QString& text) {
    m_pane->setStatusText(text);
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
        setStatusText(RecordPane::toDisplay(vm::locateMissText(where, offset)));
        m_locateFailed = true;
        return;
    }
    m_doc->setCurrentSegment(where.segment);
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

// --- start and end ---------------------------------------------------------

void Tmain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (!m_commandLineFile.isEmpty()) {
        const QString file = m_commandLineFile;
        // After the window has painted, so that messages have a parent on screen.
        QTimer::singleShot(0, this, [this, file] { m_files->openDataWithType(file); });
    }
}

void Tmain::closeEvent(QCloseEvent* event) {
    // Long work lets events run, so the request to close arrives in the
    // middle of it: the work stops first, changing nothing, and the window
    // closes once it has unwound.
    if (ProgressWindow::anyRunning() || m_doc->changeRunning()) {
        event->ignore();
        if (m_closeWhenIdle)
            return;
        if (prompter().ask(this, QStringLiteral("Warning"),
                           QStringLiteral("Stop the running change and close?")) !=
            Prompter::Answer::Yes)
            return;
        m_closeWhenIdle = true;
        ProgressWindow::stopAll();
        m_doc->stopRunningChange();
        closeWhenIdle();
        return;
    }
    if (!m_files->confirmSaveChanges()) {
        event->ignore();
        return;
    }
    if (m_tools)
        m_tools->stopLongOperations();
    m_doc->stopCopy();
    PanelSettings s = PanelSettings::load();
    if (m_panel)
        m_panel->readPanelSettings(s.showSegList, s.showTypeCtrl);
    s.save();
    m_files->saveSettings();
    event->accept();
}

void Tmain::closeWhenIdle() {
    QTimer::singleShot(50, this, [this] {
        if (ProgressWindow::anyRunning() || m_doc->changeRunning()) {
            closeWhenIdle();
            return;
        }
        m_closeWhenIdle = false;
        close();
    });
}

void Tmain::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isLocalFile(); }))
        event->acceptProposedAction();
}

void Tmain::dropEvent(QDropEvent* event) {
    // One document at a time, as on the command line: the first local file.
    QString path;
    for (const QUrl& u : event->mimeData()->urls())
        if (u.isLocalFile()) {
            path = u.toLocalFile();
            break;
        }
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: the save questions and any message must
    // not run while the program the file came from waits for the drop's end.
    QTimer::singleShot(0, this, [this, path] { m_files->openDataWithType(path); });
}

// --- options ---------------------------------------------------------------

void Tmain::toggleCanEditData() {
    m_doc->setCanEditData(!m_doc->viewSettings().canEditData());
}

void Tmain::toggleCanResetStructure() {
    const bool on = !m_doc->viewSettings().canResetStructure();
    m_doc->setStructureMode(on ? vm::StructMode::Reset : vm::StructMode::ReadOnly);
}

bool Tmain::checkStructure(bool clearTypeList) {
    m_structHint->clearSegList();
    if (clearTypeList)
        m_structHint->clearTypeList();
    fillSegmentFindings(*m_doc, *m_structHint);
    return m_structHint->segRowCount() > 0;
}

void Tmain::checkAfterEdit() {
    m_checkPending = false;
    if (!m_doc->viewSettings().canEditStructure() || !m_doc->dataStream() ||
        !vm::hasStructureErrors(m_doc->segments(), m_doc->dataSize()))
        return;
    // Structures with errors cannot have edit mode switched on; one that an
    // edit gave errors leaves it, before a next edit moves bytes that two
    // segments claim.
    m_doc->setStructureMode(vm::StructMode::ReadOnly);
    checkStructure(true);
    m_structHint->setExplanation(kErrorExplanation);
    prompter().runModal(*m_structHint);
}

void Tmain::toggleCanEditStructure() {
    const bool on = !m_doc->viewSettings().canEditStructure();
    if (on && m_doc->isOpen() && checkStructure(true)) {
        bool allowed = false;
        if (m_structHint->segListHasError()) {
            m_structHint->setExplanation(kErrorExplanation);
            prompter().runModal(*m_structHint);
        } else {
            m_structHint->setExplanation(kWarningExplanation);
            allowed = prompter().runModal(*m_structHint) == QDialog::Accepted;
        }
        if (!allowed) {
            action(MainAction::CanEditStructure)->setChecked(false);
            return;
        }
    }
    m_doc->setStructureMode(on ? vm::StructMode::Edit : vm::StructMode::ReadOnly);
}

void Tmain::toggleShowIndexNum() {
    m_doc->setIndexView(action(MainAction::ShowIndexNum)->isChecked(),
                        m_doc->viewSettings().positionFormat());
}

void Tmain::choosePositionFormat(bool hexChosen) {
    QAction* hex = action(MainAction::PositionHex);
    QAction* num = action(MainAction::PositionNum);
    // The chosen entry has already flipped its own check.
    if (hexChosen)
        num->setChecked(!hex->isChecked());
    else
        hex->setChecked(!num->isChecked());
    m_doc->setIndexView(m_doc->viewSettings().showIndexNum(), hex->isChecked() ? 1 : 2);
}

// --- windows ---------------------------------------------------------------

void Tmain::toggleControlPanel() {
    if (!action(MainAction::ShowCtrl)->isChecked()) {
        m_ctrlDock->close();
        return;
    }
    showDock(*this, m_ctrlDock);
}

void Tmain::showRecordMenu(vm::Segment* segment, int row, const QPoint& globalPos) {
    if (!segment)
        return;
    m_doc->setCurrentSegment(segment);
    // The title row, or the space below the last row, stands for appending.
    int record = std::max(row - 1, -1);
    bool append = false;
    const SegmentGrid* g = m_pane->mainGrid(segment);
    if (record < 0 && g && g->rowCount() > 1) {
        // The last record; a short tail after it has a row of its own but is
        // no record.
        record = g->rowCount() - 2;
        if (!segment->anomaly)
            record = std::min(
                record,
                std::max(vm::countedExtent(*segment, m_doc->dataSize()).recordCount - 1, 0));
        append = true;
    }
    // Making the segment current may have laid the grids out anew: the menu
    // opens at the row that was clicked, wherever its grid now stands (at the
    // title row for a click below the last row that has left the grid).
    QPoint at = globalPos;
    if (g) {
        const QPoint inside = g->viewport()->mapFromGlobal(globalPos);
        const QRect cell = g->cellRect(0, std::max(row, 0));
        if (!cell.isNull() && (row >= 0 || !g->viewport()->rect().contains(inside)))
            at = g->viewport()->mapToGlobal(QPoint(inside.x(), cell.center().y()));
    }
    if (segment->anomaly) {
        if (m_panel)
            m_panel->showFieldMenu(record, at);
        return;
    }
    m_records->showMenu(*segment, record, append, at);
}

// --- tools -----------------------------------------------------------------

void Tmain::outputText() {
    // Beside the data file, named after it, unless the user says otherwise.
    const QString name = prompter().saveFileName(
        this, QStringLiteral("OutPut To Txt File"),
        QStringLiteral("type files (*.txt);;All files (*.*)"),
        m_doc->isOpen() ? m_doc->dataFileName() + QStringLiteral(".txt") : QString());
    if (name.isEmpty())
        return;
    if (!mayWriteOutput(*m_doc, this, name))
        return;
    QString error;
    if (!writeSegmentsAsText(*m_doc, name, this, &error)) {
        prompter().error(this, error);
        return;
    }
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

void Tmain::reArrange() {
    const auto answer = prompter().ask(
        this, QStringLiteral("Warning"),
        QStringLiteral(
            "This Command Will Arrange The Active Segment's All TypeList And change This "
            "Position! "));
    vm::Segment* s = m_doc->segments().current();
    if (answer != Prompter::Answer::Yes || !s)
        return;
    bool packed = true;
    m_doc->changeFields(*s, QStringLiteral("ReArrange List"), [&](vm::Segment& seg) {
        // Rows and entries stand in the same order: the list's order is the entries'.
        std::vector<int> order(seg.entries.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        packed = vm::packEntries(seg, order);
        return packed;
    });
    if (!packed)
        prompter().error(this, QStringLiteral("The fields do not fit end to end: a field can "
                                              "start no further than 65535 bytes into its "
                                              "record. Nothing was changed."));
}

void Tmain::sortTypeList() {
    if (vm::Segment* s = m_doc->segments().current())
        m_doc->changeFields(*s, QStringLiteral("Sort Type List"), [](vm::Segment& seg) {
            vm::sortTypeEntries(seg);
            return true;
        });
}

void Tmain::sortAll() {
    m_doc->moveSegments(QStringLiteral("Sort All Type List"),
                        [](vm::SegmentList& list) { vm::sortSegments(list); });
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
    if (!cutBlankInDocument(*m_doc, this, &error))
        reportFailure(*m_pane, this, error);
}

void Tmain::exportStructure(StructureExport format) {
    if (!m_doc->isOpen())
        return;
    const bool c = format == StructureExport::CHeader;
    const QString name = prompter().saveFileName(
        this, c ? QStringLiteral("Export Structure As C Header")
                : QStringLiteral("Export Structure As Kaitai Struct"),
        c ? QStringLiteral("C headers (*.h);;All files (*.*)")
          : QStringLiteral("Kaitai Struct descriptions (*.ksy);;All files (*.*)"));
    if (name.isEmpty() || !mayWriteOutput(*m_doc, this, name))
        return;
    QString error;
    if (!writeStructureAs(*m_doc, format, name, &error))
        prompter().error(this, error);
}
