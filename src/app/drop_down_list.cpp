#include "app/drop_down_list.h"

#include <QAbstractItemView>
#include <QAbstractItemDelegate>

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

} // namespace

DropDownList::DropDownList(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    // setItemDelegate keeps the replaced delegate alive, as a child of the list.
    setItemDelegate(new TallerItemDelegate(itemDelegate(), this));
}

void DropDownList::showPopup()
{
    QComboBox::showPopup();
    // The popup container is the view's window; keep it below the field and at
    // most open_height minus the field, shrunk to the items when they fit.
    QAbstractItemView *list = view();
    QWidget *popup = list->window();
    if (popup == window())
        return;
    int rows = 0;
    for (int row = 0; row < count(); ++row)
        rows += list->sizeHintForRow(row);
    const int chrome = popup->height() - list->viewport()->height();
    const int height = std::min(open_height - this->height(), rows + chrome);
    const QPoint below = mapToGlobal(QPoint(0, this->height()));
    popup->setGeometry(below.x(), below.y(), popup->width(), height);
}

} // namespace kestrune
