#pragma once
#include <QWidget>

class QTabBar;

namespace tf {

// A row of tabs above a framed body, as the program's tab strips were: the controls of each tab
// are not children of the strip but siblings laid over its body by the window, which shows and
// hides them on Click. Tabs are numbered from 1.
class TabStrip : public QWidget {
    Q_OBJECT
public:
    explicit TabStrip(QWidget* parent = nullptr);

    int addTab(const QString& caption);
    int TabCount() const;
    QString TabCaption(int index) const;
    // The selected tab's number; 0 when there are no tabs.
    int SelectedIndex() const;
    // Selects a tab as a click would, raising Click when the selection changes.
    void setSelectedIndex(int index);
    // The height of the row of tabs; the body begins below it.
    int tabRowHeight() const;
    QTabBar* tabBar() const { return m_tabs; }

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTabBar* m_tabs;
};

} // namespace tf
