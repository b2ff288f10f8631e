#include "byteglyphs.h"

#include <QFont>
#include <QFontInfo>
#include <QPainter>
#include <QRect>

#include "cp1252.h"

ByteGlyphs::ByteGlyphs(const QFont& font) {
    if (!QFontInfo(font).fixedPitch())
        return;
    m_font = QRawFont::fromFont(font);
    if (!m_font.isValid())
        return;
    std::array<QChar, 256> chars;
    for (int b = 0; b < 256; ++b)
        chars[static_cast<std::size_t>(b)] =
            QChar(static_cast<char16_t>(vm::cp1252ToUnicode(static_cast<unsigned char>(b))));
    int count = 256;
    if (!m_font.glyphIndexesForChars(chars.data(), 256, m_glyphs.data(), &count) || count != 256)
        return;
    std::array<QPointF, 256> advances;
    if (!m_font.advancesForGlyphIndexes(m_glyphs.data(), advances.data(), 256))
        return;
    for (std::size_t b = 0; b < 256; ++b) {
        m_advances[b] = advances[b].x();
        // Controls and marks are left to the text layout, as are characters
        // the font lacks (another font would stand in for them).
        m_drawable[b] = m_glyphs[b] != 0 && chars[b].isPrint() && !chars[b].isMark();
        m_overhangsLeft[b] = m_font.boundingRect(m_glyphs[b]).left() < 0;
    }
    m_ascent = m_font.ascent();
    m_height = m_font.ascent() + m_font.descent();
    m_usable = true;
}

bool ByteGlyphs::draw(QPainter& p, const QRect& rect, std::string_view bytes) {
    if (!m_usable || bytes.size() > kMaxGlyphs)
        return false;
    qreal x = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (!m_drawable[b])
            return false;
        m_indexes[i] = m_glyphs[b];
        m_positions[i] = QPointF(x, 0);
        x += m_advances[b];
    }
    if (x > rect.width())
        return false; // drawText clips what does not fit
    m_run.setRawFont(m_font);
    m_run.setRawData(m_indexes.data(), m_positions.data(), static_cast<int>(bytes.size()));
    const QPointF origin(rect.left(), rect.top() + (rect.height() - m_height) / 2 + m_ascent);
    if (!bytes.empty() && m_overhangsLeft[static_cast<unsigned char>(bytes.front())]) {
        // drawText clips at the rectangle; so must the run, where it reaches past it.
        p.save();
        p.setClipRect(rect, Qt::IntersectClip);
        p.drawGlyphRun(origin, m_run);
        p.restore();
    } else {
        p.drawGlyphRun(origin, m_run);
    }
    return true;
}
