#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class WrappingLabel;

// An empty or unavailable state: a large symbol, a title, a description and optional action
// buttons, centred. Used as a page of its own or laid over a list (overlayOn()).
class EmptyStateView : public QWidget
{
    Q_OBJECT
public:
    EmptyStateView(const QString &symbol, const QString &title, const QString &description,
                   QWidget *parent = nullptr);

    void setContent(const QString &symbol, const QString &title, const QString &description);
    QString title() const;
    QString description() const;

    // Adds an action button below the description, in order.
    QPushButton *addAction(const QString &text);
    // Adds another widget (a progress indicator, say) to the actions below the description.
    void addActionWidget(QWidget *widget);

    // Keeps this view centred over `host` (typically a list's viewport) as the host resizes;
    // the host's own content stays visible around it.
    void overlayOn(QWidget *host);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What a host too short for the whole state leaves out, in the order it gives way.
    enum class Fit {
        whole,
        compact, // without the symbol and the space above and below the texts
        brief,   // compact, and without the description
        cut,     // brief, with the title on fewer lines than it needs, the last ending in "…"
        actions, // the actions alone
        none,    // not even the actions have room
    };

    void placeOverHost();
    // `titleLines`: the lines the title is cut to.
    void setFit(Fit fit, int titleLines = 0);
    int neededHeight(int width) const;
    bool hasActions() const;

    QLabel *m_symbol;
    WrappingLabel *m_title;
    WrappingLabel *m_description;
    QWidget *m_actions;
    QWidget *m_host = nullptr;
    QMargins m_margins;
    Fit m_fit = Fit::whole;
    int m_titleLines = 0;
};
