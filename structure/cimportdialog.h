#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "cstruct.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTimer;

// What the user has asked for in the import dialog, as plain data: the header
// (its path, for includes beside it, and its text as shown), the target and
// the compiler's options, and the type picked from the list.
struct CImportChoice {
    std::string headerPath;
    std::string headerText;
    std::string target;
    std::vector<std::string> includeDirs;
    std::vector<std::string> defines;
    std::string typeName;
};

// "Import C Struct": a header pasted or loaded, the target and options, the
// structs the header defines, and a preview of the fields the chosen one
// gives. The dialog parses nothing itself: its owner hears choiceChanged(),
// asks the C import, and hands back the type list and the preview. After OK,
// fields() and recordLength() are what replaces the current segment's fields.
class TimportCStruct : public QDialog {
    Q_OBJECT
public:
    explicit TimportCStruct(QWidget* parent = nullptr);

    void setTargets(const std::vector<std::string>& targets);
    void setHeader(const std::string& path, const std::string& text);
    // The structs of the header, or why it could not be read (names empty).
    void setTypes(const std::vector<std::string>& names, const std::string& error);
    // The fields of the chosen type, or its refusal.
    void setPreview(const vm::CStructImport& preview);

    CImportChoice choice() const;
    const std::vector<vm::TypeEntry>& fields() const { return m_previewed.fields; }
    std::int32_t recordLength() const { return m_previewed.recordLength; }

signals:
    // The header, the target or an option changed: the type list is out of date.
    void headerChanged();
    // A type was picked: the preview is out of date.
    void typeChosen();
    // "Open Header..." was pressed; the owner asks for the file and calls setHeader.
    void openHeaderRequested();

private:
    void showMessage(const QString& text);
    void clearPreview();

    QPlainTextEdit* m_text = nullptr;
    QComboBox* m_target = nullptr;
    QLineEdit* m_includes = nullptr;
    QLineEdit* m_defines = nullptr;
    QListWidget* m_types = nullptr;
    QTableWidget* m_preview = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_ok = nullptr;
    QTimer* m_settle = nullptr;
    std::string m_path;
    QString m_picked; // the type last picked
    vm::CStructImport m_previewed; // what OK takes
};
