#pragma once

#include <QString>
#include <QWidget>

class ASOStore;
class MetadataEditor;
class MetadataFieldsPane;
class QScrollArea;
class QSplitter;
class TargetKeywordPane;

// The "Metadata" section of an app's detail screen: the name, subtitle and keyword field on the
// left, the target keywords on the right, side by side in a splitter. A new view starts a new
// editor (the draft is read again, the undo step is gone); another storefront keeps it.
class MetadataView : public QWidget
{
    Q_OBJECT
public:
    MetadataView(ASOStore *store, QString appleAppId, QString country, QWidget *parent = nullptr);
    ~MetadataView() override;

    MetadataEditor *editor() const { return m_editor; }
    MetadataFieldsPane *fieldsPane() const { return m_fields; }
    TargetKeywordPane *targetsPane() const { return m_targets; }

    void setCountry(const QString &country);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitFieldsMinimum();
    // Until the user drags the divider, splits the width so that the target table shows its
    // columns whole where the fields pane can yield the room.
    void splitToFit();

    MetadataEditor *m_editor;
    QSplitter *m_splitter;
    QScrollArea *m_scroll;
    MetadataFieldsPane *m_fields;
    TargetKeywordPane *m_targets;
    bool m_splitMoved = false;
};
