#pragma once

#include "support/CancelToken.h"

#include <QCoroTask>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>

class ASOStore;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The sheet through which the user starts tracking an app: the pasted App Store link or ID goes
// to the store, which looks the app up and keeps it; keyword discovery then starts in the
// storefront the store chose, the presenter learns which app it was, and the sheet closes.
//
// The request is not tied to the sheet: closing the sheet while it runs lets it finish, so the
// app is still added, discovered and announced. Only an app whose earlier removal goes on waits
// for it, which can take long: the sheet says so, and closing it then gives the addition up.
class AddAppDialog : public QDialog
{
    Q_OBJECT
public:
    using AddedCallback = std::function<void(const QString &appleAppId)>;

    AddAppDialog(ASOStore *store, AddedCallback onAdded, QWidget *parent = nullptr);
    ~AddAppDialog() override;

    // Whether the text is empty once tabs and space separators (the no-break space among them)
    // are trimmed from both ends; line breaks count as text.
    static bool isBlank(const QString &text);

    bool isWorking() const { return m_isWorking; }
    // The last failure's text; empty when there is none.
    QString errorText() const;

public Q_SLOTS:
    // Starts the add request, unless one runs or nothing was typed.
    void submit();

Q_SIGNALS:
    // The request ended, added or failed; for observers that wait for it.
    void requestFinished();

private:
    static QCoro::Task<> addAndDiscover(QPointer<AddAppDialog> dialog, QPointer<ASOStore> store, QString input,
                                        bool isOwn, AddedCallback onAdded, CancelTokenPtr cancel);
    void showRemovalWait(const QString &appleAppId);
    void setWorking(bool working);
    void setError(const QString &error);
    void updateButton();
    // Grows or shrinks the sheet to what its texts need.
    void fitHeight();

    QPointer<ASOStore> m_store;
    AddedCallback m_onAdded;
    QLineEdit *m_input;
    QCheckBox *m_isOwn;
    QLabel *m_error;
    QLabel *m_removalWait;
    QPushButton *m_add;
    QProgressBar *m_busy;
    bool m_isWorking = false;
    // The running request's app, and what gives it up once the sheet closes.
    QString m_requestedApp;
    CancelTokenPtr m_cancel;
};
