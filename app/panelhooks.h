#pragma once

#include <QList>

class QAction;
class QPoint;
class QWidget;

// What the main window asks of the control panel, which the structure editor
// plugs in (Tmain::setPanel). Everything else the panel learns from the
// document's signals.
class PanelHooks {
public:
    virtual ~PanelHooks() = default;

    // The control panel widget, docked in the left dock site.
    virtual QWidget* controlPanel() = 0;
    // Actions of the Edit menu, in menu order (separators included).
    virtual QList<QAction*> editMenuActions() = 0;
    // Right click on an Anomaly grid: the field menu with field row `entry`
    // selected (none when negative).
    virtual void showFieldMenu(int entry, const QPoint& globalPos) = 0;
    // The panel's two view settings: handed over at start (the panel also
    // sets its segment list's height then) and read back when the program ends.
    virtual void applyPanelSettings(bool showSegList, bool showTypeCtrl) = 0;
    virtual void readPanelSettings(bool& showSegList, bool& showTypeCtrl) const = 0;
};

// The panel's view settings as the settings file keeps them between runs.
struct PanelSettings {
    bool showSegList = true;
    bool showTypeCtrl = true;

    static PanelSettings load();
    void save() const;
};
