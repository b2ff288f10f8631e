#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class Document;

// The file information dialog: name, size and times of the data file on disk
// and of its type file side by side, and the data file's attributes.
class TFileInfo : public QDialog {
    Q_OBJECT
public:
    TFileInfo(const Document& doc, QWidget* parent);

    // Fills the columns of the non-empty names (an empty one keeps its column
    // as it was). False, after telling the user, when a file cannot be read.
    bool fill(const QString& dataFile, const QString& typeFile);

private:
    struct Column {
        QLineEdit* name;
        QLineEdit* size;
        QLineEdit* created;
        QLineEdit* modified;
        QLineEdit* accessed;
    };
    bool fillColumn(const Column& column, const QString& path, bool attributes);

    const Document& m_doc;
    Column m_data{};
    Column m_type{};
    QCheckBox* m_readOnly;
    QCheckBox* m_hidden;
    QCheckBox* m_archive;
    QCheckBox* m_system;
};
