#pragma once

#include <cstdint>

#include <QLabel>
#include <QWidget>

#include "checks.h"

// One of the panel's two position bars: it paints the spans of the structure
// check's map, worked out for its width, over its full height.
class PositionBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 6;

    explicit PositionBar(const QString& name, QWidget* parent = nullptr);

    // A map worked out for width() pixels.
    void setMap(vm::StructureMap map);
    const vm::StructureMap& map() const { return m_map; }
    // Only the grey background (no segment, or nothing to show).
    void clearMap();

signals:
    // The width changed: the map must be worked out again.
    void widthChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    vm::StructureMap m_map;
};

// An indicator label: lit (enabled) while its finding exists; a click on a lit
// label asks for the list of every finding.
class IndicatorLabel : public QLabel {
    Q_OBJECT
public:
    IndicatorLabel(const QString& name, const QString& caption, const QColor& colour,
                   std::uint8_t flag, QWidget* parent = nullptr);
    std::uint8_t flag() const { return m_flag; }
    // Lights the label when its flag is among the flags.
    void showFlags(std::uint8_t flags) { setEnabled((flags & m_flag) != 0); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::uint8_t m_flag;
};
