#pragma once

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every fuzz target shares: the application object Qt needs, a check that stops the run
// with a message (libFuzzer then keeps the input), and the input read as text.
namespace Fuzz {

// Event loops, settings and the database need one; made once and kept to the end.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "vantu-fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

[[noreturn]] inline void fail(const char *file, int line, const char *condition, const QString &detail)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", qUtf8Printable(detail));
    std::abort();
}

// UTF-8 when the first byte is even, else UTF-16 little-endian: only UTF-16 can carry lone
// surrogates, and only UTF-8 keeps the corpus readable.
inline QString text(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {};
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype restSize = qsizetype(size - 1);
    if (data[0] % 2 == 0)
        return QString::fromUtf8(rest, restSize);
    QString out(restSize / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = QChar(char16_t(uint8_t(rest[2 * i]) | (uint8_t(rest[2 * i + 1]) << 8)));
    return out;
}

// The text's code points in hexadecimal, for a failure message.
inline QString codePoints(const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0') + u' ';
    return out.trimmed();
}

} // namespace Fuzz

#define FUZZ_CHECK(condition, detail)                                          \
    do {                                                                       \
        if (!(condition))                                                      \
            Fuzz::fail(__FILE__, __LINE__, #condition, (detail));              \
    } while (false)
