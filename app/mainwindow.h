#pragma once

#include <functional>
#include <memory>

#include <QHash>
#include <QMainWindow>
#include <QString>

#include "gridhost.h"
#include "panelhooks.h"
#include "toolhooks.h"

class QAction;
class QDialog;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QToolBar;
class QToolButton;
class Document;
class RecordPane;
class Tabout;
class TAddRecord;
class TdelRecord;
class TeditStructHint;

// The main window: it owns the document, shows its segments in the record
// pane, docks the control panel and holds every command as an action.
class Tmain : public QMainWindow, public GridHost {
    Q_OBJECT
public:
    explicit Tmain(QWidget* parent = nullptr);
    ~Tmain() override;

    Document& document() { return *m_doc; }
    RecordPane* recordPane() const { return m_pane; }
    TeditStructHint* structHint() const { return m_structHint; }
    TAddRecord* addRecordDialog() const { return m_addRecord; }
    TdelRecord* delRecordDialog() const { return m_delRecord; }
    // The dock of the control panel in the left dock site.
    QDockWidget* controlDock() const { return m_ctrlDock; }
    // Every action by its name (AopenFile ...); nullptr for an unknown name.
    QAction* action(const QString& name) const { return m_actions.value(name); }
    QMenu* fileMenu() const { return m_fileMenu; }
    QToolBar* toolBar() const { return m_toolBar; }

    // Docks a tool window (find, compare, data hint) in the left dock site; it
    // can float as a stay-on-top tool window too.
    void addLeftDock(QDockWidget* dock);

    // The control panel and the tool windows plug in here; the window owns
    // them from then on. nullptr puts the do-nothing default back.
    void setPanel(std::unique_ptr<PanelHooks> panel);
    PanelHooks& panel() const { return *m_panel; }
    void setTools(std::unique_ptr<ToolHooks> tools);
    ToolHooks& tools() const { return *m_tools; }

    // The file named on the command line, opened when the window first shows.
    void setCommandLineFile(const QString& path) { m_commandLineFile = path; }

    void updateActionStates(bool refreshPanel);
    void updateCaption();
    void rebuildFileMenu();
    // Shows "No File Open" and returns false when no data is open.
    bool requireDataStream();
    QString statusText() const;
    void setStatusText(const QString& text);
    // Index view options changed or the current segment changed: lay the grids out again.
    void showCurrentSegment(bool applyWidths);
    // Selects the segment and record holding a file offset (counted from the
    // segment's begin when absolute, else from 0) and scrolls its grid there;
    // a miss is reported on the status line only.
    void locatePosition(std::int64_t offset, bool absolute);

    // --- GridHost ---
    vm::FileStream* dataStream() override;
    bool canWriteData() const override;
    vm::SegmentList& segments() override;
    vm::ViewSettings& viewSettings() override;
    const vm::Locale& locale() const override;
    bool gridFillEnabled() const override;
    void setDataChanged(bool data, bool type) override;
    void selectSegment(vm::Segment* segment) override;
    void locatePosition(std::int64_t offset) override;
    void entryDefinitionChanged(vm::Segment* segment, int entryIndex) override;

    static constexpr const char* kNotAvailable = " is not available in this version yet.";

signals:
    // A tool, the position bar or the grid asked to show a file offset (hit
    // or miss); windows that follow the user's place listen here.
    void locateRequested(qint64 offset, bool absolute);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createDock();
    void watchDock(QDockWidget* dock);
    QAction* makeAction(const char* name, const QString& caption, const QString& hint,
                        const QKeySequence& shortcut, int image);
    void connectActions();
    void connectDocument();
    void structureReplaced();
    void documentReplaced();
    void syncOptionChecks();
    void optionsChanged();
    // The status line shows how far the working copy is, with its Cancel.
    void createCopyProgress();
    void showCopyProgress();
    void notAvailable(const QString& window);
    QWidget* makePanelPlaceholder();
    void showRecordMenu(vm::Segment* segment, int row, const QPoint& globalPos);
    void addRecords();
    void deleteRecords();
    // Shows a record dialog prepared for the current segment and runs the edit it accepted.
    void runRecordEdit(QDialog& dialog, const std::function<void(const vm::Segment&)>& prepare,
                       const std::function<bool(vm::Segment&, QString*)>& run);
    // After a record edit: the panel, the grids and the bars show the new shape.
    void recordsChanged();

    // Commands of the window itself.
    void toggleCanEditData();
    void toggleCanResetStructure();
    void toggleCanEditStructure();
    void toggleShowIndexNum();
    void choosePositionFormat(bool hexChosen);
    void toggleControlPanel();
    void toggleDataHint();
    void toggleFind();
    void toggleCompare();
    void outputText();
    void adjustColumnWidths();
    void autoIndex();
    void gotoOffset();
    void sortTypeList();
    void sortAll();
    void fileInformation();
    void splitFile();
    void cutBlank();
    void showAbout();
    // Runs the structure checks into the message window; true when it got rows.
    bool checkStructure(bool clearTypeList);

    // Destroyed before the widgets of the window: a panel widget docked here
    // leaves its dock when it goes.
    std::unique_ptr<PanelHooks> m_panel;
    std::unique_ptr<ToolHooks> m_tools;
    Document* m_doc = nullptr;
    RecordPane* m_pane = nullptr;
    QDockWidget* m_ctrlDock = nullptr;
    TeditStructHint* m_structHint = nullptr;
    Tabout* m_about = nullptr;
    TdelRecord* m_delRecord = nullptr;
    TAddRecord* m_addRecord = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_recordMenu = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_copyLabel = nullptr;
    QProgressBar* m_copyBar = nullptr;
    QToolButton* m_copyCancel = nullptr;
    QHash<QString, QAction*> m_actions;
    QList<QAction*> m_fixedFileEntries;
    QList<QAction*> m_editPlaceholders;
    QString m_commandLineFile;
    bool m_shownOnce = false;
    // The last locatePosition missed; the next hit clears the status line.
    bool m_locateFailed = false;
};
