#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include <QMainWindow>
#include <QString>

#include "panelhooks.h"
#include "toolhooks.h"

class QAction;
class QDockWidget;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QToolBar;
class QToolButton;
class Document;
class DocumentFiles;
class RecordCommands;
class RecordPane;
class Tabout;
class TAddRecord;
class TeditStructHint;

enum class StructureExport;

namespace vm {
struct Segment;
}

// The main window's menu and tool-bar entries.
enum class MainAction {
    OpenFile,
    NewFile,
    NewWindow,
    SaveData,
    SaveAs,
    OpenType,
    UseDefaultType,
    SaveType,
    SaveTypeAs,
    SaveAll,
    CloseAll,
    MakeWorkingCopy,
    Exit,
    ShowCtrl,
    ShowHint,
    ShowFind,
    ShowCompare,
    ToolBar,
    ShowIndexNum,
    PositionHex,
    PositionNum,
    OutputText,
    AdjustColumnWidths,
    ReArrange,
    GotoOffset,
    ReplaceDefaultType,
    SortTypeList,
    SortAll,
    FileInfo,
    SplitFile,
    CutBlank,
    CanEditData,
    CanResetStructure,
    CanEditStructure,
    Help,
    HelpButton,
    Homepage,
    About,
    Undo,
    Redo,
    ExportCHeader,
    ExportKaitai,
    Count
};

// The main window: it owns the document, shows its segments in the record
// pane, docks the control panel and lays out the menus and the tool bar. The
// control panel and the tool windows plug in and follow the document
// themselves; the entries of the tool windows are theirs to run.
class Tmain : public QMainWindow {
    Q_OBJECT
public:
    explicit Tmain(QWidget* parent = nullptr);
    ~Tmain() override;

    Document& document() { return *m_doc; }
    DocumentFiles& files() { return *m_files; }
    RecordPane* recordPane() const { return m_pane; }
    TeditStructHint* structHint() const { return m_structHint; }
    TAddRecord* addRecordDialog() const;
    // The dock of the control panel in the left dock site.
    QDockWidget* controlDock() const { return m_ctrlDock; }
    QAction* action(MainAction which) const { return m_actions[static_cast<std::size_t>(which)]; }
    // An entry by its objectName (AopenFile ...), as tests find controls;
    // nullptr for an unknown name.
    QAction* action(const QString& objectName) const;
    QMenu* fileMenu() const { return m_fileMenu; }
    // The recent lists, newest first, in their submenus of the File menu.
    QMenu* recentFilesMenu() const { return m_recentFilesMenu; }
    QMenu* recentTypesMenu() const { return m_recentTypesMenu; }
    QToolBar* toolBar() const { return m_toolBar; }

    // The control panel and the tool windows plug in here; the window owns
    // them from then on.
    void setPanel(std::unique_ptr<PanelHooks> panel);
    PanelHooks* panel() const { return m_panel.get(); }
    void setTools(std::unique_ptr<ToolHooks> tools);
    // What the tool windows are given.
    ToolContext toolContext();

    // The file named on the command line, opened when the window first shows.
    void setCommandLineFile(const QString& path) { m_commandLineFile = path; }

    QString statusText() const;
    void setStatusText(const QString& text);
    // The last line the document's statusMessage put on the status line
    // (until the next one, or until another file is opened or closed).
    QString statusMessage() const;
    // Selects the segment and record holding a file offset (counted from the
    // segment's begin when absolute, else from 0) and scrolls its grid there;
    // a miss is reported on the status line only.
    void locatePosition(std::int64_t offset, bool absolute = true);

signals:
    // A tool, the position bar or the grid asked to show a file offset (hit
    // or miss).
    void locateRequested(qint64 offset, bool absolute);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A data file (or a type file, which opens its data file) dropped on the
    // window opens as if chosen with "Open File...".
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createDock();
    void connectActions();
    void connectDocument();
    void updateActionStates();
    void syncOptionChecks();
    void rebuildFileMenu();
    void showStatusMessage(const QString& text);
    // The caption, with the desktop's mark of unsaved changes.
    void updateTitle();
    void rebuildEditMenu();
    // The status line shows how far the working copy is, with its Cancel.
    void createCopyProgress();
    void showCopyProgress();
    void showRecordMenu(vm::Segment* segment, int row, const QPoint& globalPos);

    // Undo and redo name the step they take, and go off when there is none.
    void updateUndoActions();
    // Undo (backwards) or redo; a cell edit taken back is shown where it was.
    void takeStep(bool backwards);

    // Commands of the window itself.
    void toggleCanEditData();
    void toggleCanResetStructure();
    void toggleCanEditStructure();
    void toggleShowIndexNum();
    void choosePositionFormat(bool hexChosen);
    void toggleControlPanel();
    void outputText();
    void adjustColumnWidths();
    void reArrange();
    void sortTypeList();
    void sortAll();
    void cutBlank();
    void exportStructure(StructureExport format);
    // Runs the structure checks into the message window; true when it got rows.
    bool checkStructure(bool clearTypeList);
    // After a change made in edit mode the checks run as they do when the
    // mode is switched on: an error switches it off and is listed.
    void checkAfterEdit();
    // Closes once no long work is running any more.
    void closeWhenIdle();

    // Destroyed before the widgets of the window: a panel widget docked here
    // leaves its dock when it goes.
    std::unique_ptr<PanelHooks> m_panel;
    std::unique_ptr<ToolHooks> m_tools;
    Document* m_doc = nullptr;
    DocumentFiles* m_files = nullptr;
    RecordPane* m_pane = nullptr;
    RecordCommands* m_records = nullptr;
    QDockWidget* m_ctrlDock = nullptr;
    TeditStructHint* m_structHint = nullptr;
    Tabout* m_about = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_recentFilesMenu = nullptr;
    QMenu* m_recentTypesMenu = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_copyLabel = nullptr;
    QProgressBar* m_copyBar = nullptr;
    QToolButton* m_copyCancel = nullptr;
    std::array<QAction*, static_cast<std::size_t>(MainAction::Count)> m_actions{};
    QString m_commandLineFile;
    bool m_shownOnce = false;
    bool m_closeWhenIdle = false;
    bool m_checkPending = false;
    // The last locatePosition missed; the next hit clears the status line.
    bool m_locateFailed = false;
};
