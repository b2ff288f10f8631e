#pragma once

#include <cstdint>
#include <vector>

#include <QDialog>
#include <QImage>

#include "split.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Document;
class UpDownButtons;

// The split dialog: copies chosen byte ranges of a source file, in list order,
// into a target file, replacing it or appending to it. Two strips preview where
// the pieces lie in the source and where the selected one lands in the target.
// Either file may be the open data file: the split then reads and writes the
// document's working copy.
class Tsplit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStripWidth = 300;
    static constexpr int kStripHeight = 5;

    Tsplit(Document& doc, QWidget* parent);

    // The main window's command: both names become the open data file's.
    void prepare(const QString& dataFile);
    const std::vector<vm::SplitPiece>& pieces() const { return m_pieces; }
    std::int64_t sourceSize() const { return m_sourceSize; }
    const QImage& sourceStrip() const { return m_sImg; }
    const QImage& targetStrip() const { return m_tImg; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sourceNameChanged();
    void updateButtons();
    int selectedRow() const;
    void selectionChanged();
    void refreshRow(int row);
    void drawStrips();
    void addPiece();
    void deletePiece();
    // The Begin (or End) box changed: the selected piece follows it.
    void boundEdited(bool begin);
    void lengthEdited();
    // What the selected piece holds for a box, as the box shows it.
    QString rowText(const QLineEdit* box, const vm::SplitPiece& p) const;
    // The box's text is not taken: the note says why and what the piece keeps.
    void refuse(QLineEdit* box, const QString& why);
    // Enter or leaving a box: it shows what the piece holds.
    void commitBox(QLineEdit* box);
    void step(QLineEdit* box, int delta);
    void browse(QLineEdit* box);
    void splitClicked();
    bool isOpenDataFile(const QString& name) const;

    Document& m_doc;
    QLineEdit* m_source;
    QLineEdit* m_sourceLength;
    QLineEdit* m_target;
    QLineEdit* m_targetLength;
    QCheckBox* m_append;
    QTreeWidget* m_list;
    QMenu* m_menu;
    QAction* m_menuDelete;
    QLineEdit* m_begin;
    QLineEdit* m_end;
    QLineEdit* m_length;
    QLabel* m_note;
    std::vector<UpDownButtons*> m_arrows;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_split;
    QLabel* m_sourceStripView;
    QLabel* m_targetStripView;
    QImage m_sImg;
    QImage m_tImg;
    std::vector<vm::SplitPiece> m_pieces;
    std::int64_t m_sourceSize = 0;
    bool m_busy = false;
};
