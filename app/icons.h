#pragma once

#include <QIcon>

// The main window's image list (indexes 0 to 22) and the few other pictures.
namespace icons {
inline constexpr int kImageCount = 23;
// An empty icon for an index outside the list.
QIcon image(int index);
QIcon errorIcon();
QIcon warningIcon();
QIcon appIcon();
// Undo and redo, for the Edit menu and the tool bar.
QIcon undoIcon();
QIcon redoIcon();
} // namespace icons
