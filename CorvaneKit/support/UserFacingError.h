#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of every error whose text reaches the user. description() is that text;
// what() gives the same text as UTF-8 for logs and test failures.
class UserFacingError : public std::exception
{
public:
    virtual QString description() const = 0;

    const char *what() const noexcept override
    {
        m_what = description().toUtf8();
        return m_what.constData();
    }

private:
    mutable QByteArray m_what;
};
