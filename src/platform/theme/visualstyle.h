#pragma once
#include <QColor>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringView>

class QPainter;

namespace tf {

// Text flags in the old numbering, as the controls' drawing requests carry them.
inline constexpr unsigned kDtCenter = 0x1;
inline constexpr unsigned kDtVCenter = 0x4;
inline constexpr unsigned kDtWordBreak = 0x10;
inline constexpr unsigned kDtSingleLine = 0x20;
inline constexpr unsigned kDtEndEllipsis = 0x8000;
inline constexpr unsigned kDtModifyString = 0x10000;
inline constexpr unsigned kDtWordEllipsis = 0x40000;

// Draws text into a rectangle the way the old text call did: one line centred vertically and
// elided when it does not fit, or word-wrapped from the top; nothing outside the rectangle.
// The text given is never changed, whatever the flags ask.
void drawTextDT(QPainter& painter, const QRect& rect, unsigned dt, const QString& text);

// Two chevrons of two-pixel strokes in a 24 x 24 button whose corner is (x, y), pointing up when
// `up`. Lines stop one pixel short of their end point, so the figure is symmetric about x + 12.
void drawChevronLines(QPainter& painter, int x, int y, bool up, const QColor& color);

// The desktop's visual style as our controls see it. There is no desktop theme engine to ask on
// Linux, so this reports a style of our own ("Classic" unless set otherwise) and draws the themed
// parts it knows from a fixed table. Controls that find no part here draw their classic look.
class VisualStyle : public QObject {
    Q_OBJECT
public:
    enum class Scheme { Classic, NormalColor, Metallic, HomeStead };

    explicit VisualStyle(QObject* parent = nullptr);
    static VisualStyle& instance();

    Scheme scheme() const { return m_scheme; }
    void setScheme(Scheme scheme);
    bool isThemed() const { return m_scheme != Scheme::Classic; }
    // The colour-scheme name ("NormalColor", "Metallic", "HomeStead"); empty when not themed.
    QString colorSchemeName() const;

    // Whether theme data exists for a class ("Explorerbar"); the name is matched ignoring case.
    virtual bool hasClass(QStringView cls) const;
    // Draw the background of a part in a state over rect; false when the style has no such part.
    virtual bool drawBackground(QPainter& painter, QStringView cls, int part, int state, const QRect& rect) const;
    // The area inside a part's border where its text goes.
    virtual QRect contentRect(QStringView cls, int part, int state, const QRect& rect) const;
    virtual bool drawText(QPainter& painter, QStringView cls, int part, int state, const QString& text,
                          unsigned dt, const QRect& rect) const;

signals:
    // The style changed; every themed control repaints.
    void changed();

private:
    Scheme m_scheme = Scheme::Classic;
};

} // namespace tf
