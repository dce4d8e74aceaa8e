#pragma once

#include <QCoroTask>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class ASOStore;
class QPlainTextEdit;
class QPushButton;

// The sheet in which the user types or pastes keywords to track for one app in one storefront.
// "Track & Check" links them to the app as manual keywords at once and closes the sheet; a
// background search of each then runs on, apart from the sheet, and raises the data version once
// when it is done so that the keyword table shows the new ranks. The sheet deletes itself when it
// closes, so that each opening starts with an empty text.
class AddKeywordsDialog : public QDialog
{
    Q_OBJECT
public:
    AddKeywordsDialog(ASOStore *store, const QString &appleAppId, const QString &country, QWidget *parent = nullptr);

    // The entries of the text; "Track & Check" is disabled while there is none.
    QStringList entries() const;

    // Links the entries, closes the sheet and returns the background search, which needs nothing
    // of the sheet and may be dropped.
    QCoro::Task<> trackAndCheck();

private:
    // Searches each usable entry in turn (a fresh stored search is reused) and applies it to
    // the app, refreshes the popularity, then raises the data version. Holds the app by ID and
    // ends quietly once the app or the store is gone.
    static QCoro::Task<> checkInBackground(QPointer<ASOStore> store, QStringList terms, QString appleAppId,
                                           QString country);
    void updateButton();

    QPointer<ASOStore> m_store;
    QString m_appleAppId;
    QString m_country;
    QPlainTextEdit *m_text;
    QPushButton *m_track;
};
