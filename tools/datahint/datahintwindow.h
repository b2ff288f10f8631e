#pragma once

#include <array>

#include <QDockWidget>

#include "datahint.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QToolButton;
class Document;
class RecordPane;
class TfSetCurShow;

// The data hint window: the bytes under the mouse in the record grid (or typed
// as hex, or encoded from a typed value) read as every kind the user chose.
// A tool window that docks in the main window's left dock site or floats on
// top of it.
class TfcurShow : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 21;

    // Docked in window; it reads the bytes the pane's mouse is over.
    TfcurShow(Document& doc, const RecordPane& pane, QMainWindow& window);

    // Shows or closes the window, opening a collapsed dock site to its width.
    void setShown(bool shown);
    // The hovered field: ignored while the window is hidden.
    void dataHovered(qint64 position, int length, const QString& hexDump);
    // The shown kinds changed (a type file was read, or the setup's OK).
    void refreshNames();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Puts bytes into the hex box; its change handler reads them.
    void setHex(const QString& hex);
    void hexValueChange();
    void valueChange();
    void showSetup();

    QMainWindow& m_window;
    Document& m_doc;
    TfSetCurShow* m_setup;
    QLabel* m_pos;
    QComboBox* m_kind;
    QLineEdit* m_value;
    QLabel* m_hexLabel;
    QLineEdit* m_hex;
    std::array<QLabel*, kRows> m_names{};
    std::array<QLabel*, kRows> m_values{};
    vm::HintBuffer m_buf;
};
