#pragma once

class QDockWidget;
class QMainWindow;

// The usual width of the left dock site.
inline constexpr int kDockWidth = 264;

// Docks a window (the control panel, find, compare, data hint) in the left
// dock site; it may go to the right one or float. A window dropped on a
// collapsed dock site opens it to its usual width.
void dockLeft(QMainWindow& window, QDockWidget* dock);
// Shows a docked window, opening a collapsed dock site to its usual width.
void showDock(QMainWindow& window, QDockWidget* dock);
