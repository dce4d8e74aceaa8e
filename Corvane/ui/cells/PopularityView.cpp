#include "ui/cells/PopularityView.h"

PopularityView::PopularityView(std::optional<qint64> value, std::optional<PopularitySource> source, QWidget *parent)
    : CellView(parent)
{
    setObjectName(QStringLiteral("popularityView"));
    setValue(value, source);
}

void PopularityView::setValue(std::optional<qint64> value, std::optional<PopularitySource> source)
{
    setContent(CellContents::popularity(value, source));
}
