#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <string_view>

#include <QGlyphRun>
#include <QRawFont>

class QFont;
class QPainter;
class QRect;

// A font's glyphs of the 256 single-byte characters, looked up once a paint,
// so that a cell's text is drawn as a glyph run: no text layout and no
// allocation per cell. It draws only what drawText would draw the same way (a
// fixed-pitch font, characters the font has, text that fits its cell); the
// caller draws anything else with drawText.
class ByteGlyphs {
public:
    explicit ByteGlyphs(const QFont& font);

    // Draws Windows-1252 bytes at the left of rect, centred vertically as
    // drawText centres a line; false (nothing drawn) when drawText must do it.
    bool draw(QPainter& p, const QRect& rect, std::string_view bytes);

private:
    static constexpr std::size_t kMaxGlyphs = 256;
    bool m_usable = false;
    QRawFont m_font;
    std::array<quint32, 256> m_glyphs{};
    std::array<qreal, 256> m_advances{};
    std::bitset<256> m_drawable;
    // Glyphs whose ink starts left of their origin: drawText clips that part
    // at the rectangle's left edge, so a run that starts with one is clipped too.
    std::bitset<256> m_overhangsLeft;
    qreal m_ascent = 0;
    qreal m_height = 0;
    // One run and its arrays serve every cell.
    QGlyphRun m_run;
    std::array<quint32, kMaxGlyphs> m_indexes{};
    std::array<QPointF, kMaxGlyphs> m_positions{};
};
