#include "toolwidgets.h"

#include <QAction>
#include <QGroupBox>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform.h"
#include "resultrows.h"

namespace toolwidgets {

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

QTreeView* resultView(const QString& name, ResultRows* rows,
                      std::function<void(int row)> doubleClicked) {
    auto* view = new QTreeView;
    view->setObjectName(name);
    view->setModel(rows);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    QObject::connect(view, &QTreeView::doubleClicked, view,
                     [doubleClicked](const QModelIndex& index) { doubleClicked(index.row()); });
    return view;
}

QGroupBox* resultGroup(QTreeView* view) {
    auto* group =
        new QGroupBox(QStringLiteral("Result List---Double-Click Item Goto Data Position"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(view);
    return group;
}

} // namespace toolwidgets
