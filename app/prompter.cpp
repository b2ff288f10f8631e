#include "prompter.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

#include "filestream.h"
#include "progresswindow.h"

void Prompter::inform(QWidget* parent, const QString& text, const QString& title) {
    message(parent, title.isEmpty() ? QApplication::applicationName() : title, text, Buttons::Ok,
            Icon::Information);
}

void Prompter::error(QWidget* parent, const QString& text, const QString& title) {
    // Work the user stopped did not fail: it is said, not raised as an error.
    const bool stopped = text.endsWith(QLatin1String(vm::kStoppedByUser));
    message(parent, title.isEmpty() ? QApplication::applicationName() : title, text, Buttons::Ok,
            stopped ? Icon::Information : Icon::Critical);
}

Prompter::Answer Prompter::ask(QWidget* parent, const QString& title, const QString& text,
                               Buttons buttons) {
    return message(parent, title, text, buttons, Icon::Warning);
}

bool Prompter::mayReplace(QWidget* parent, const QString& path, const QString& title,
                          const QString& text) {
    return !QFileInfo::exists(path) || ask(parent, title, text) == Answer::Yes;
}

Prompter::Answer QtPrompter::message(QWidget* parent, const QString& title, const QString& text,
                                     Buttons buttons, Icon icon) {
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    const int r = box.exec();
    switch (r) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        // Closing a Yes/No box with its title bar counts as No; a box with
        // Cancel reports Cancel.
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

std::optional<QString> QtPrompter::inputText(QWidget* parent, const QString& title,
                                             const QString& label, const QString& initial) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtPrompter::openFileName(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString QtPrompter::saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& suggested) {
    // The callers ask their own overwrite questions with their own wording,
    // about the name with its extension.
    QString chosen;
    const QString name = QFileDialog::getSaveFileName(parent, title, suggested, filter, &chosen,
                                                      QFileDialog::DontConfirmOverwrite);
    return name.isEmpty() ? name : withFilterExtension(name, chosen);
}

QString withFilterExtension(const QString& name, const QString& filter) {
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return name;
    const QStringList patterns =
        filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (patterns.size() != 1 || !patterns[0].startsWith(QStringLiteral("*.")))
        return name;
    const QString extension = patterns[0].mid(1);
    if (extension.size() < 2 || extension.contains(QLatin1Char('*')) ||
        extension.contains(QLatin1Char('?')))
        return name;
    const QString file = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    return file.contains(QLatin1Char('.')) ? name : name + extension;
}

int QtPrompter::runModal(QDialog& dialog) {
    return dialog.exec();
}

namespace {

Prompter* g_prompter = nullptr;

// Stands before the installed prompter (the real dialogs, or a test's): no
// message, question or modal window opens under a progress window, whoever
// asks and whatever work is still running.
class ProgressSafePrompter : public Prompter {
public:
    Answer message(QWidget* parent, const QString& title, const QString& text, Buttons buttons,
                   Icon icon) override {
        ProgressWindow::closeAll();
        return inner().message(parent, title, text, buttons, icon);
    }
    std::optional<QString> inputText(QWidget* parent, const QString& title, const QString& label,
                                     const QString& initial) override {
        ProgressWindow::closeAll();
        return inner().inputText(parent, title, label, initial);
    }
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override {
        ProgressWindow::closeAll();
        return inner().openFileName(parent, title, filter);
    }
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suggested) override {
        ProgressWindow::closeAll();
        return inner().saveFileName(parent, title, filter, suggested);
    }
    int runModal(QDialog& dialog) override {
        ProgressWindow::closeAll();
        return inner().runModal(dialog);
    }

private:
    static Prompter& inner() {
        static QtPrompter real;
        return g_prompter ? *g_prompter : real;
    }
};

} // namespace

Prompter& prompter() {
    static ProgressSafePrompter guarded;
    return guarded;
}

void setPrompter(Prompter* p) {
    g_prompter = p;
}
