// SPDX-License-Identifier: MIT
#include "app/drop_down_list.h"

#include <QAbstractItemView>
#include <QAbstractItemDelegate>
#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QScrollBar>

#include <algorithm>

namespace kestrune {

namespace {

// The style's own item delegate, one pixel taller.
class TallerItemDelegate : public QAbstractItemDelegate
{
public:
    TallerItemDelegate(QAbstractItemDelegate *style_delegate, QObject *parent)
        : QAbstractItemDelegate(parent)
        , style_delegate_(style_delegate)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        style_delegate_->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return style_delegate_->sizeHint(option, index) + QSize(0, 1);
    }

private:
    QAbstractItemDelegate *style_delegate_; // owned by the list
};

// The application's style, except that the list drops down as a plain list with
// a scroll bar, not as a menu-like popup whose scroll arrows show only at times.
class ListDropDownStyle : public QProxyStyle
{
public:
    // Over a style of the application's own kind, which it owns.
    ListDropDownStyle()
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
    {
    }
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *answer) const override
    {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

} // namespace

DropDownList::DropDownList(QWidget *parent)
    : QComboBox(parent)
{
    // The style first: the popup's view takes its scroll bar policy from it when made.
    auto *style = new ListDropDownStyle;
    style->setParent(this);
    setStyle(style);
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    // setItemDelegate keeps the replaced delegate alive, as a child of the list.
    setItemDelegate(new TallerItemDelegate(itemDelegate(), this));
}

void DropDownList::showPopup()
{
    QComboBox::showPopup();
    // The popup container is the view's window; keep it below the field, as many
    // whole items as fit in open_height less the field, shrunk to the items when
    // they all fit, with the scroll bar beside them when they do not.
    QAbstractItemView *list = view();
    QWidget *popup = list->window();
    if (popup == window() || count() == 0)
        return;
    const int row = list->sizeHintForRow(0);
    const int chrome = popup->height() - list->viewport()->height();
    const int rows = std::clamp((open_height - height() - chrome) / std::max(1, row), 1, count());
    const QPoint below = mapToGlobal(QPoint(0, height()));
    popup->setGeometry(below.x(), below.y(), popup->width(), chrome + rows * row);
    list->scrollTo(list->currentIndex(), QAbstractItemView::EnsureVisible);
}

} // namespace kestrune
