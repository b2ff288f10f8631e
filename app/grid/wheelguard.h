#pragma once

class QWidget;

// Combo boxes and number editors take the mouse wheel only while they have
// the keyboard focus: a wheel notch meant to scroll past them, over a panel
// full of controls, must not change a value (a kind box turned by the wheel
// retypes every selected field). Without the focus the notch does nothing
// there. The widget keeps taking the focus by click and Tab, never by the
// wheel.
void takeWheelOnlyWithFocus(QWidget* widget);
