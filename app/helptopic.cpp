#include "helptopic.h"

#include <QDir>

#include "platform.h"
#include "prompter.h"

bool showHelpTopic(QWidget* parent, const QString& topic) {
    if (platform::openHelpTopic(topic))
        return true;
    prompter().error(parent,
                     QStringLiteral("The help could not be shown: no web browser could be "
                                    "started.\nThe page is ") +
                         QDir::toNativeSeparators(platform::helpPagePath(topic)),
                     QStringLiteral("Help"));
    return false;
}

bool showWebAddress(QWidget* parent, const QString& address) {
    if (platform::openWebAddress(address))
        return true;
    prompter().error(parent, QStringLiteral("No web browser could be started to open ") + address,
                     QStringLiteral("Help"));
    return false;
}
