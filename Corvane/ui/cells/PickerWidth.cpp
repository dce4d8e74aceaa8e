#include "ui/cells/PickerWidth.h"

#include "ui/cells/PlainText.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QIcon>
#include <QLayout>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionMenuItem>

#include <algorithm>

namespace {

// The width the list's entry at `row` needs. A menu-like list (the combo box's own delegate for
// styles that show the list as a menu) draws an entry as a menu item; any other delegate says
// what it needs.
int entryWidth(const QComboBox *picker, int row)
{
    const auto index = picker->model()->index(row, picker->modelColumn(), picker->rootModelIndex());
    auto *view = picker->view();
    if (!picker->itemDelegate()->inherits("QComboMenuDelegate"))
        return view->sizeHintForIndex(index).width();
    // As the combo box's menu delegate fills in the item, and as a menu asks for its items' size.
    QStyleOptionMenuItem option;
    option.initFrom(view);
    const auto font = index.data(Qt::FontRole);
    option.font = font.canConvert<QFont>() ? font.value<QFont>() : picker->font();
    option.fontMetrics = QFontMetrics(option.font);
    const QString text = index.data(Qt::DisplayRole).toString();
    option.text = PlainText::actionText(text);
    const auto decoration = index.data(Qt::DecorationRole);
    option.icon = decoration.canConvert<QIcon>() ? decoration.value<QIcon>() : QIcon();
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.checkType = QStyleOptionMenuItem::NonExclusive;
    option.checked = picker->currentIndex() == row;
    option.maxIconWidth = picker->iconSize().width() + 4;
    option.reservedShortcutWidth = 0;
    QSize contents(option.fontMetrics.horizontalAdvance(text), option.fontMetrics.height());
    if (!option.icon.isNull())
        contents.setHeight(std::max(contents.height(), picker->iconSize().height()));
    return picker->style()->sizeFromContents(QStyle::CT_MenuItem, &option, contents, picker).width();
}

// Follows the picker's entries, font and style.
class EntriesFit : public QObject
{
public:
    explicit EntriesFit(QComboBox *picker) : QObject(picker), m_picker(picker)
    {
        picker->installEventFilter(this);
        // The picker's model as it is now: the pickers that use this keep theirs.
        auto *model = picker->model();
        connect(model, &QAbstractItemModel::rowsInserted, this, &EntriesFit::fit);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &EntriesFit::fit);
        connect(model, &QAbstractItemModel::dataChanged, this, &EntriesFit::fit);
        connect(model, &QAbstractItemModel::modelReset, this, &EntriesFit::fit);
        connect(model, &QAbstractItemModel::layoutChanged, this, &EntriesFit::fit);
        connect(picker, &QComboBox::currentIndexChanged, this, &EntriesFit::fit);
        fit();
    }

    void fit() { m_picker->setMinimumWidth(PickerWidth::forWholeEntries(m_picker)); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::Polish:
            fit();
            break;
        default:
            break;
        }
        return false;
    }

private:
    QComboBox *m_picker;
};

}

int PickerWidth::forWholeEntries(const QComboBox *picker)
{
    int widest = 0;
    for (int row = 0; row < picker->count(); ++row)
        widest = std::max(widest, entryWidth(picker, row));
    auto *view = picker->view();
    int frames = 2 * view->frameWidth();
    // The list sits in a framed container of its own.
    if (auto *container = view->parentWidget()) {
        const auto margins = container->contentsMargins();
        frames += margins.left() + margins.right();
        if (auto *layout = container->layout())
            frames += layout->contentsMargins().left() + layout->contentsMargins().right();
    }
    const bool scrolls = picker->count() > picker->maxVisibleItems()
                         && view->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    return widest + frames + (scrolls ? view->verticalScrollBar()->sizeHint().width() : 0);
}

void PickerWidth::keepEntriesWhole(QComboBox *picker)
{
    new EntriesFit(picker);
}
