#include "host/window/ProgressDelegate.h"

#include "host/window/QueueModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

namespace Lumora::Window {

namespace {

constexpr int kBarMargin = 2;
constexpr int kFullPercent = 100;

} // namespace

void ProgressDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The cell's background and selection first, then the bar inside it.
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.text.clear();
    QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);

    QStyleOptionProgressBar bar;
    if (option.widget)
        bar.initFrom(option.widget);
    bar.palette = option.palette;
    bar.fontMetrics = option.fontMetrics;
    bar.direction = option.direction;
    bar.rect = option.rect.adjusted(kBarMargin, kBarMargin, -kBarMargin, -kBarMargin);
    bar.minimum = 0;
    bar.maximum = kFullPercent;
    bar.progress = index.data(QueueModel::PercentRole).toInt();
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}

} // namespace Lumora::Window
