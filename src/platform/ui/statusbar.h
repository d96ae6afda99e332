#pragma once
#include <QLabel>
#include <QMap>
#include <QPixmap>
#include <QStatusBar>
#include <QString>

namespace tf {

// A label that keeps its whole text but, when narrower than the text, paints it shortened in the
// middle with an ellipsis, so both ends of a path or file name stay readable.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The text as painted at the label's current width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A status bar of panels addressed by key ("folder", "filename", "queue", ...), each a label
// with an optional picture, as the program's status panels always were.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Appends a panel; stretch > 0 lets it take spare width and give way down to minimumWidth
    // when there is too little. A panel without stretch is as wide as its text and picture (at
    // least minimumWidth), so its text is never cut, unless maximumWidth (> 0) caps it: a longer
    // text (a file name of any length) is then shown shortened in the middle, with the whole text
    // as its tool tip. A key already present is kept.
    void addPanel(const QString& key, int minimumWidth = 0, int stretch = 0, int maximumWidth = 0);
    bool hasPanel(const QString& key) const { return m_panels.contains(key); }
    // An unknown key is ignored (reads give an empty text).
    void setPanelText(const QString& key, const QString& text);
    QString panelText(const QString& key) const;
    void setPanelPicture(const QString& key, const QPixmap& picture);
    QLabel* panel(const QString& key) const { return m_panels.value(key).text; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Panel {
        QWidget* box = nullptr;
        QLabel* picture = nullptr;
        QLabel* text = nullptr;
        int minimumWidth = 0;
        int maximumWidth = 0;
        bool wholeText = false;
    };
    void fitToContents(const Panel& panel);
    void applyPanelWidths();
    QMap<QString, Panel> m_panels;
};

} // namespace tf
