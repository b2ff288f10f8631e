#include "wheelguard.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>

namespace {

class WheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel)
            return false;
        const auto* w = qobject_cast<QWidget*>(watched);
        if (!w || w->hasFocus())
            return false;
        event->ignore();
        return true;
    }
};

} // namespace

void takeWheelOnlyWithFocus(QWidget* widget) {
    if (!widget)
        return;
    // One filter per widget, owned by it, so it goes when the widget goes.
    static const char* const kGuarded = "wheelOnlyWithFocus";
    if (!widget->property(kGuarded).toBool()) {
        widget->installEventFilter(new WheelGuard(widget));
        widget->setProperty(kGuarded, true);
    }
    if (widget->focusPolicy() == Qt::WheelFocus)
        widget->setFocusPolicy(Qt::StrongFocus);
}
