// The drive tabs: a tab bar over a framed pane. It holds no pages: one set of
// sibling controls lies over the pane and the dialog refills them when the
// selection changes.
#pragma once

#include <QTabBar>
#include <QWidget>

namespace cadrix {

class TabPane : public QWidget {
    Q_OBJECT
public:
    explicit TabPane(QWidget* parent = nullptr);

    QTabBar* Bar() const { return bar_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutBar();
    QTabBar* bar_;
};

}  // namespace cadrix
