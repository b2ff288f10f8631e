#include "docking.h"

#include <algorithm>

#include <QDockWidget>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

namespace {

// The dock's contents in a scroll area, so that the dock can be shorter than
// they are.
void makeScrollable(QDockWidget* dock) {
    QWidget* inner = dock->widget();
    if (!inner || qobject_cast<QScrollArea*>(inner))
        return;
    auto* area = new QScrollArea;
    area->setObjectName(dock->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    dock->setWidget(area);
    area->setWidget(inner);
}

// Docks stacked in one dock site add up their minimum heights, and a window
// whose minimum is taller than its screen grows past it, maximised or not:
// the status line, the position bar and the lower docks end up off screen.
// The dock that came last then joins the tallest of the others as a tab, as
// often as it takes. Where even one dock is taller than the screen, the
// docks of the site scroll their contents.
void fitDocksToScreen(QMainWindow& window, QDockWidget* dock) {
    const QScreen* screen = window.screen();
    if (!screen || dock->isFloating() || dock->isHidden())
        return;
    const QRect avail = screen->availableGeometry();
    // The frame's own height, known once the window is on screen.
    const int frame =
        window.isVisible() ? window.frameGeometry().height() - window.geometry().height() : 0;
    const int room = avail.height() - frame;
    const Qt::DockWidgetArea area = window.dockWidgetArea(dock);
    while (window.minimumSizeHint().height() > room) {
        QDockWidget* host = nullptr;
        const QList<QDockWidget*> tabs = window.tabifiedDockWidgets(dock);
        for (QDockWidget* d : window.findChildren<QDockWidget*>()) {
            if (d == dock || d->parentWidget() != &window || d->isHidden() || d->isFloating() ||
                window.dockWidgetArea(d) != area || tabs.contains(d))
                continue;
            if (!host || d->minimumSizeHint().height() > host->minimumSizeHint().height())
                host = d;
        }
        if (!host)
            break;
        window.tabifyDockWidget(host, dock);
        dock->raise();
    }
    if (window.minimumSizeHint().height() > room)
        for (QDockWidget* d : window.findChildren<QDockWidget*>())
            if (d->parentWidget() == &window && !d->isFloating() &&
                window.dockWidgetArea(d) == area)
                makeScrollable(d);
    // Showing the dock grew the window at once, before it could give way:
    // it comes back (a maximised one too, which the window manager does not
    // shrink by itself).
    if (window.isVisible() && !window.isFullScreen() && window.height() > room)
        window.resize(window.width(), std::max(room, window.minimumSizeHint().height()));
}

} // namespace

void dockLeft(QMainWindow& window, QDockWidget* dock) {
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    QObject::connect(
        dock, &QDockWidget::dockLocationChanged, &window, [&window, dock](Qt::DockWidgetArea area) {
            if (area == Qt::LeftDockWidgetArea && !dock->isFloating() && dock->width() <= 30)
                window.resizeDocks({dock}, {kDockWidth}, Qt::Horizontal);
            fitDocksToScreen(window, dock);
        });
}

void showDock(QMainWindow& window, QDockWidget* dock) {
    dock->show();
    dock->raise();
    if (!dock->isFloating() && dock->width() < 10)
        window.resizeDocks({dock}, {kDockWidth}, Qt::Horizontal);
    fitDocksToScreen(window, dock);
    // A window shown for the first time learns its full height only once its
    // layout has run: looked at again then.
    QTimer::singleShot(0, dock, [&window, dock] { fitDocksToScreen(window, dock); });
}
