#include "icons.h"

#include <QString>

static void initIconResources() {
    // The pictures are compiled into the static library; its resources must be
    // registered by hand.
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace icons {

static QIcon load(const QString& name) {
    initIconResources();
    return QIcon(QStringLiteral(":/icons/") + name);
}

QIcon image(int index) {
    if (index < 0 || index >= kImageCount)
        return {};
    return load(QString::number(index) + QStringLiteral(".svg"));
}

QIcon errorIcon() {
    return load(QStringLiteral("error.svg"));
}

QIcon warningIcon() {
    return load(QStringLiteral("warning.svg"));
}

QIcon appIcon() {
    return load(QStringLiteral("vellomarque.svg"));
}

QIcon undoIcon() {
    return load(QStringLiteral("undo.svg"));
}

QIcon redoIcon() {
    return load(QStringLiteral("redo.svg"));
}

} // namespace icons
