#pragma once

#include <QString>

class QWidget;

// Help pages and web addresses open in the user's browser. When no browser can
// be started the user is told so, with the page's own path for the help, so
// that F1 never seems to do nothing.
bool showHelpTopic(QWidget* parent, const QString& topic);
bool showWebAddress(QWidget* parent, const QString& address);
