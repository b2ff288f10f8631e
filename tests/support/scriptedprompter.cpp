#include "scriptedprompter.h"

#include <QDialog>
#include <QStringList>

Prompter::Answer ScriptedPrompter::message(QWidget*, const QString& title, const QString& text,
                                           Buttons buttons, Icon icon) {
    records.push_back({Kind::Message, title, text, buttons, icon, {}});
    if (onMessage)
        onMessage(records.back());
    if (buttons == Buttons::Ok) {
        // A plain message needs no answer, but a queued one is still taken so
        // that scripts stay in step.
        if (!answers.empty() && answers.front() == Answer::Ok)
            answers.pop_front();
        return Answer::Ok;
    }
    if (answers.empty()) {
        ++unanswered;
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompter::inputText(QWidget*, const QString& title,
                                                   const QString& label, const QString& initial) {
    records.push_back({Kind::Input, title, label + "|" + initial, Buttons::Ok, {}, {}});
    if (inputs.empty()) {
        ++unanswered;
        return std::nullopt;
    }
    const bool given = inputs.front().has_value();
    const QString value = given ? *inputs.front() : QString();
    inputs.pop_front();
    if (!given)
        return std::nullopt;
    return std::optional<QString>(value);
}

QString ScriptedPrompter::nextFileName(Kind kind, const QString& title, const QString& filter) {
    records.push_back({kind, title, filter, Buttons::Ok, {}, {}});
    if (fileNames.empty()) {
        ++unanswered;
        return {};
    }
    const QString r = fileNames.front();
    fileNames.pop_front();
    return r;
}

QString ScriptedPrompter::openFileName(QWidget*, const QString& title, const QString& filter) {
    return nextFileName(Kind::OpenFile, title, filter);
}

QString ScriptedPrompter::saveFileName(QWidget*, const QString& title, const QString& filter,
                                       const QString& suggested) {
    const QString name = nextFileName(Kind::SaveFile, title, filter);
    records.back().suggested = suggested;
    return name;
}

int ScriptedPrompter::runModal(QDialog& dialog) {
    records.push_back({Kind::Modal, dialog.windowTitle(), dialog.objectName(), Buttons::Ok, {}, {}});
    if (modals.empty()) {
        ++unanswered;
        return QDialog::Rejected;
    }
    auto handler = std::move(modals.front());
    modals.pop_front();
    return handler(dialog);
}

QStringList ScriptedPrompter::messageTexts() const {
    QStringList out;
    for (const auto& r : records)
        if (r.kind == Kind::Message)
            out << r.text;
    return out;
}

void ScriptedPrompter::clear() {
    records.clear();
    answers.clear();
    inputs.clear();
    fileNames.clear();
    modals.clear();
    unanswered = 0;
}
