#include "ui/competitors/TableColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace {

// Fits the columns whenever the viewport's width changes, until a column is dragged by hand.
class ColumnFitter : public QObject
{
public:
    ColumnFitter(QTableView *table, std::span<const ColumnWidth> widths)
        : QObject(table), m_header(table->horizontalHeader()), m_viewport(table->viewport()), m_widths(widths)
    {
        auto *header = m_header;
        for (int column = 0; column < int(widths.size()); ++column)
            m_titles.append(header->sectionSizeHint(column));
        connect(header, &QHeaderView::sectionResized, this, [this, header](int column, int, int size) {
            // The last column follows the viewport by itself.
            if (m_fitting || column >= int(m_widths.size()) - 1)
                return;
            if (size < m_widths[column].minimum)
                header->resizeSection(column, m_widths[column].minimum);
            else
                m_dragged = true;
        });
        m_viewport->installEventFilter(this);
        fit();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Compared by address only: the table may be half destroyed when its viewport goes.
        if (watched == m_viewport && event->type() == QEvent::Resize && !m_dragged)
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit()
    {
        const auto sizes = TableColumns::fitted(m_widths, m_titles, m_viewport->width());
        m_fitting = true;
        // The last one too: the header stretches it from that size, never below.
        for (int column = 0; column < int(sizes.size()); ++column)
            m_header->resizeSection(column, sizes[column]);
        m_fitting = false;
    }

    QHeaderView *m_header;
    QWidget *m_viewport;
    std::span<const ColumnWidth> m_widths;
    QList<int> m_titles;
    bool m_fitting = false;
    bool m_dragged = false;
};

}

QList<int> TableColumns::fitted(std::span<const ColumnWidth> widths, std::span<const int> titles, int room)
{
    QList<int> smallest;
    QList<int> wanted;
    int smallestSum = 0;
    int wantedSum = 0;
    for (int column = 0; column < int(widths.size()); ++column) {
        const int title = column < int(titles.size()) ? titles[column] : 0;
        smallest.append(std::max(widths[column].minimum, title));
        wanted.append(std::max(widths[column].ideal, smallest.last()));
        smallestSum += smallest.last();
        wantedSum += wanted.last();
    }
    const double share =
        wantedSum > smallestSum ? std::clamp(double(room - smallestSum) / (wantedSum - smallestSum), 0.0, 1.0) : 1.0;
    QList<int> sizes;
    for (int column = 0; column < int(widths.size()); ++column)
        sizes.append(smallest[column] + int(share * (wanted[column] - smallest[column])));
    return sizes;
}

void TableColumns::apply(QTableView *table, std::span<const ColumnWidth> widths)
{
    auto *header = table->horizontalHeader();
    header->setStretchLastSection(true);
    int smallest = widths.empty() ? 0 : widths.front().minimum;
    for (const auto &width : widths)
        smallest = std::min(smallest, width.minimum);
    header->setMinimumSectionSize(smallest);
    new ColumnFitter(table, widths);
}
