#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

#include "prompter.h"

// A Prompter for tests: it records every prompt and answers from queues. A
// prompt with nothing queued for it gets the cautious answer (Cancel, No,
// dismissed) and is counted in unanswered, so a test notices a surprise.
class ScriptedPrompter : public Prompter {
public:
    enum class Kind { Message, Input, OpenFile, SaveFile, Modal };
    struct Record {
        Kind kind;
        QString title;
        QString text;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::Information;
        QString suggested; // a save dialog's starting name
    };

    std::vector<Record> records;
    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<QString> fileNames;
    // Modal windows: the handler sees the window (already filled) and returns its result.
    std::deque<std::function<int(QDialog&)>> modals;
    int unanswered = 0;
    // Runs as each message box is shown, to look at the windows around it.
    std::function<void(const Record&)> onMessage;

    Answer message(QWidget* parent, const QString& title, const QString& text, Buttons buttons,
                   Icon icon) override;
    std::optional<QString> inputText(QWidget* parent, const QString& title, const QString& label,
                                     const QString& initial) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suggested = QString()) override;
    int runModal(QDialog& dialog) override;

    // Texts of the message boxes shown, in order.
    QStringList messageTexts() const;
    const Record* last() const { return records.empty() ? nullptr : &records.back(); }
    void clear();

private:
    // Records a file dialog and answers it with the next queued name.
    QString nextFileName(Kind kind, const QString& title, const QString& filter);
};

// Installs a ScriptedPrompter for the lifetime of the guard.
class ScopedPrompter {
public:
    explicit ScopedPrompter(Prompter& p) { setPrompter(&p); }
    ~ScopedPrompter() { setPrompter(nullptr); }
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;
};
