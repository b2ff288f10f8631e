#pragma once

#include <functional>

#include <QString>

class QAction;
class QGroupBox;
class QTreeView;
class QWidget;
class ResultRows;

// Pieces the tool windows share.
namespace toolwidgets {

// The window's "Help" action on F1, opening its topic of the help pages. A
// docked window takes the key while the focus is inside it.
QAction* addHelpAction(QWidget* window, const char* topic);

// A result list over rows (objectName `name`) that calls doubleClicked with
// the row, in the group box "Result List---Double-Click Item Goto Data Position".
QTreeView* resultView(const QString& name, ResultRows* rows,
                      std::function<void(int row)> doubleClicked);
QGroupBox* resultGroup(QTreeView* view);

} // namespace toolwidgets
