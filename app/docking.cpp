#include "docking.h"

#include <QDockWidget>
#include <QMainWindow>

void dockLeft(QMainWindow& window, QDockWidget* dock) {
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    QObject::connect(
        dock, &QDockWidget::dockLocationChanged, &window, [&window, dock](Qt::DockWidgetArea area) {
            if (area == Qt::LeftDockWidgetArea && !dock->isFloating() && dock->width() <= 30)
                window.resizeDocks({dock}, {kDockWidth}, Qt::Horizontal);
        });
}

void showDock(QMainWindow& window, QDockWidget* dock) {
    dock->show();
    dock->raise();
    if (!dock->isFloating() && dock->width() < 10)
        window.resizeDocks({dock}, {kDockWidth}, Qt::Horizontal);
}
