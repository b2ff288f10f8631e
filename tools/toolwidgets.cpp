#include "toolwidgets.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

#include "filestream.h"
#include "platform.h"
#include "resultrows.h"

namespace toolwidgets {

namespace {

// Key presses that no control inside the window took reach the window itself.
class RunKeys : public QObject {
public:
    RunKeys(QWidget* window, QTreeView* results, std::function<void()> start,
            std::function<void()> stop)
        : QObject(window), m_results(results), m_start(std::move(start)), m_stop(std::move(stop)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        if (key->key() == Qt::Key_Escape) {
            m_stop();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            const QWidget* focus = QApplication::focusWidget();
            if (m_results && focus && (focus == m_results || m_results->isAncestorOf(focus)))
                return true; // the list went to its row already
            m_start();
            return true;
        }
        return false;
    }

private:
    QTreeView* m_results;
    std::function<void()> m_start;
    std::function<void()> m_stop;
};

} // namespace

QAction* addHelpAction(QWidget* window, const char* topic) {
    auto* help = new QAction(QStringLiteral("Help"), window);
    help->setObjectName(QStringLiteral("Ahelp"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    window->addAction(help);
    const QString page = QString::fromLatin1(topic);
    QObject::connect(help, &QAction::triggered, window, [page] { platform::openHelpTopic(page); });
    return help;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

QTreeView* resultView(const QString& name, ResultRows* rows, std::function<void(int row)> goTo) {
    auto* view = new QTreeView;
    view->setObjectName(name);
    view->setModel(rows);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    // A double-click activates the row as Enter does.
    QObject::connect(view, &QTreeView::activated, view,
                     [goTo](const QModelIndex& index) { goTo(index.row()); });
    return view;
}

QGroupBox* resultGroup(QTreeView* view) {
    auto* group =
        new QGroupBox(QStringLiteral("Result List---Double-Click Item Goto Data Position"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(view);
    return group;
}

void addRunKeys(QWidget* window, QTreeView* results, std::function<void()> start,
                std::function<void()> stop) {
    window->installEventFilter(new RunKeys(window, results, std::move(start), std::move(stop)));
}

QLabel* runNote() {
    auto* note = new QLabel;
    note->setObjectName(QStringLiteral("runNote"));
    note->setWordWrap(true);
    return note;
}

RunEnd runEnd(bool completed, bool readError, std::int64_t position, const vm::FileStream* data) {
    RunEnd end;
    end.offset = position;
    if (readError) {
        end.how = RunEnd::How::ReadError;
        // A short read without an error: the file was cut under the run.
        end.reason = data && !data->lastError().empty()
                         ? QString::fromStdString(data->lastError())
                         : QStringLiteral("the file is shorter than when the run began");
    } else if (!completed) {
        end.how = RunEnd::How::Stopped;
    }
    return end;
}

QString runNoteText(const RunEnd& end) {
    QString text;
    switch (end.how) {
    case RunEnd::How::Complete:
        break;
    case RunEnd::How::Stopped:
        text = QStringLiteral("stopped at offset ") + QString::number(end.offset);
        break;
    case RunEnd::How::ReadError:
        text = QStringLiteral("read error at ") + QString::number(end.offset) +
               QStringLiteral(": ") + end.reason;
        break;
    }
    if (!end.listCap.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("; ")) + end.listCap;
    return text;
}

} // namespace toolwidgets
