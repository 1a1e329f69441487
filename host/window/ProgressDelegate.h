#pragma once
// The Progress column as a bar drawn by the style, with the percent on it.

#include <QStyledItemDelegate>

namespace Lumora::Window {

class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace Lumora::Window
