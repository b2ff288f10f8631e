#pragma once

#include <optional>

#include <QString>

class QDialog;
class QWidget;

// Every message box, question, input box, file dialog and modal window of the
// program goes through one Prompter, so that tests can answer them.
class Prompter {
public:
    enum class Answer { Ok, Yes, No, Cancel };
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Icon { Information, Warning, Critical, Question };

    virtual ~Prompter() = default;

    virtual Answer message(QWidget* parent, const QString& title, const QString& text,
                           Buttons buttons, Icon icon) = 0;
    // Nothing when the box is dismissed.
    virtual std::optional<QString> inputText(QWidget* parent, const QString& title,
                                             const QString& label, const QString& initial) = 0;
    // Filters use Qt's form, "type files (*.type);;All files (*.*)"; an empty
    // filter shows every file. Empty result: dismissed.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    // suggested: the name the dialog starts with. A name typed without an
    // extension gets the one of the chosen filter when that names a single
    // extension ("*.txt").
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& suggested = QString()) = 0;
    // Shows a modal window; its QDialog::DialogCode.
    virtual int runModal(QDialog& dialog) = 0;

    // Shorthands.
    void inform(QWidget* parent, const QString& text, const QString& title = QString());
    // An error; a text that ends in the engine's "stopped by the user" is
    // shown as information instead.
    void error(QWidget* parent, const QString& text, const QString& title = QString());
    Answer ask(QWidget* parent, const QString& title, const QString& text,
               Buttons buttons = Buttons::YesNo);
    // True when path may be written: there is no such file, or Yes to the question.
    bool mayReplace(QWidget* parent, const QString& path, const QString& title,
                    const QString& text);
};

// Real dialogs.
class QtPrompter : public Prompter {
public:
    Answer message(QWidget* parent, const QString& title, const QString& text, Buttons buttons,
                   Icon icon) override;
    std::optional<QString> inputText(QWidget* parent, const QString& title, const QString& label,
                                     const QString& initial) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suggested = QString()) override;
    int runModal(QDialog& dialog) override;
};

// name with the extension of filter (one entry of a dialog's filter list,
// "type files (*.txt)") when filter names exactly one and name's file part
// has none; otherwise name as it is.
QString withFilterExtension(const QString& name, const QString& filter);

// The process's prompter: the installed one (a QtPrompter unless one was
// installed), which it asks only once every progress window is closed.
Prompter& prompter();
// Installs a prompter (not owned); nullptr goes back to the real dialogs.
void setPrompter(Prompter* p);
