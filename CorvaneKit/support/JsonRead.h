#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

// Typed reads of untyped JSON values: a value of another type counts as absent, and no
// value is coerced (a number given as text is not a number, a bool is not a number).
// Every text a client takes from JSON goes through string() or stringList(), so that it is
// well-formed from the start.
namespace JsonRead {

// The text with each lone surrogate replaced by U+FFFD. A JSON escape can spell a lone
// surrogate, which UTF-8 (the database, the stored forms, percent-encoded addresses) cannot
// hold: kept as it came, the text would read back differently from what was stored.
inline QString wellFormed(QString text)
{
    if (text.isValidUtf16())
        return text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// A JSON number that is a whole number within qint64.
inline std::optional<qint64> exactInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger() hands back its default for fractions and out-of-range values;
    // two different defaults tell that apart from a genuine integer.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b)
        return std::nullopt;
    return a;
}

inline std::optional<QString> string(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return wellFormed(value.toString());
}

inline std::optional<double> number(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

// A JSON array whose elements are all strings.
inline std::optional<QStringList> stringList(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue &element : value.toArray()) {
        if (!element.isString())
            return std::nullopt;
        list.append(wellFormed(element.toString()));
    }
    return list;
}

} // namespace JsonRead
