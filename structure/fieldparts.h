#pragma once

#include <string>
#include <string_view>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QString>

#include "cp1252.h"
#include "kindnames.h"
#include "recordpane.h"

// Small pieces shared by the panel's lists, the field frame and the field dialogs.

// What an edit holds as the engine's single-byte text; a character that has
// no single-byte form becomes '?'.
inline std::string singleByteText(const QString& text) {
    if (auto bytes = RecordPane::fromDisplay(text))
        return *bytes;
    return vm::utf8ToCp1252(text.toStdString());
}

// The dialogs' button row: OK (the default button) and Cancel, which rejects.
inline QHBoxLayout* okCancelRow(QDialog* dialog, QPushButton* ok, const char* okName,
                                const char* cancelName) {
    ok->setText(QStringLiteral("OK"));
    ok->setObjectName(QString::fromLatin1(okName));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QString::fromLatin1(cancelName));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

// An action of the panel, found by its objectName, owned by parent; run is
// called with parent as the context, so it never outlives its owner.
template <typename Run>
QAction* panelAction(QObject* parent, const char* name, const char* caption, Run run) {
    auto* a = new QAction(QString::fromLatin1(caption), parent);
    a->setObjectName(QString::fromLatin1(name));
    QObject::connect(a, &QAction::triggered, parent, std::move(run));
    return a;
}
