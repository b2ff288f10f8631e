#pragma once

#include <cstdint>
#include <functional>

#include <QString>

class QAction;
class QColor;
class QGroupBox;
class QLabel;
class QTreeView;
class QWidget;
class ResultRows;
namespace vm {
class FileStream;
}

// Pieces the tool windows share.
namespace toolwidgets {

// The window's "Help" action on F1, opening its topic of the help pages. A
// docked window takes the key while the focus is inside it.
QAction* addHelpAction(QWidget* window, const char* topic);

// Text in a colour of its own. Through the palette: a style sheet would also
// give the widget the application's font instead of its window's.
void setTextColour(QWidget* widget, const QColor& colour);

// A result list over rows (objectName `name`) that calls goTo with the row on
// a double-click or Enter, in the group box "Result List---Double-Click Item
// Goto Data Position".
QTreeView* resultView(const QString& name, ResultRows* rows, std::function<void(int row)> goTo);
QGroupBox* resultGroup(QTreeView* view);

// Enter starts the window's run and Esc stops it, wherever the focus is in
// the window but in the result list (where Enter goes to the row). A dock has
// no default button that would do it.
void addRunKeys(QWidget* window, QTreeView* results, std::function<void()> start,
                std::function<void()> stop);

// The line beside a run's count (objectName "runNote") saying what the count
// and the list do not: that the run ended early, and that the list holds only
// the first rows.
QLabel* runNote();

// How a run of find or compare ended.
struct RunEnd {
    enum class How { Complete, Stopped, ReadError };
    How how = How::Complete;
    std::int64_t offset = 0; // where it stopped
    QString reason;          // why the data could not be read
    QString listCap;         // said when the list was cut short; empty otherwise
};
// How a scan over data ended: where, and why the data could not be read.
RunEnd runEnd(bool completed, bool readError, std::int64_t position, const vm::FileStream* data);
QString runNoteText(const RunEnd& end);

} // namespace toolwidgets
