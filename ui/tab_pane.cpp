#include "tab_pane.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>

namespace cadrix {

TabPane::TabPane(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
    bar_->setExpanding(false);
    bar_->setUsesScrollButtons(true);
    bar_->setDrawBase(false);
    connect(bar_, &QTabBar::currentChanged, this, [this] { LayoutBar(); });
}

void TabPane::LayoutBar() {
    const QSize hint = bar_->sizeHint();
    bar_->setGeometry(0, 0, std::min(hint.width(), width()), hint.height());
    update();
}

void TabPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutBar();
}

void TabPane::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.shape = bar_->shape();
    option.tabBarSize = bar_->sizeHint();
    const int top = bar_->sizeHint().height();
    option.rect = QRect(0, top - 1, width(), height() - top + 1);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    option.selectedTabRect = bar_->tabRect(bar_->currentIndex());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, option);
}

}  // namespace cadrix
