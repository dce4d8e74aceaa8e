#include "tracking/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

QString problem(const QString &description)
{
    return QStringLiteral("Could not change the login item: ") + description;
}

// Characters that force an Exec argument into double quotes.
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// Leading and trailing blanks around keys and values are not part of them.
QString trimmedBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin).toString();
}

bool hidesItself(const QByteArray &contents)
{
    bool inMainGroup = false;
    const QString text = QString::fromUtf8(contents);
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QString trimmed = trimmedBlanks(line);
        if (trimmed.startsWith(u'[')) {
            inMainGroup = trimmed == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = trimmed.indexOf(u'=');
        if (!inMainGroup || equals < 0)
            continue;
        if (trimmedBlanks(QStringView(trimmed).left(equals)) == u"Hidden")
            return trimmedBlanks(QStringView(trimmed).mid(equals + 1)) == u"true";
    }
    return false;
}

} // namespace

namespace LoginItem {

QString entryPath()
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(configHome + QStringLiteral("/autostart/vantu.desktop"));
}

Status status()
{
    QFile file(entryPath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return Status::notRegistered;
    return hidesItself(file.readAll()) ? Status::notRegistered : Status::enabled;
}

QString execValue(const QString &executablePath)
{
    QString argument = executablePath;
    if (std::any_of(argument.cbegin(), argument.cend(), isReserved)) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        argument = quoted + u'"';
    }
    // Field codes come next: a literal percent sign is doubled.
    argument.replace(u'%', QStringLiteral("%%"));
    // Last the escapes of every string value, which readers undo before unquoting.
    QString value;
    for (const QChar c : argument) {
        switch (c.unicode()) {
        case u'\\':
            value += QStringLiteral("\\\\");
            break;
        case u'\n':
            value += QStringLiteral("\\n");
            break;
        case u'\t':
            value += QStringLiteral("\\t");
            break;
        case u'\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

QByteArray entryContents(const QString &executablePath)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vantu\n"
           "Exec="
        + execValue(executablePath).toUtf8() + "\n";
}

} // namespace LoginItem

std::optional<QString> setOpenAtLogin(bool open)
{
    const QString path = LoginItem::entryPath();
    if (!open) {
        QFile file(path);
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return std::nullopt;
        if (!file.remove())
            return problem(file.errorString());
        return std::nullopt;
    }

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return problem(QStringLiteral("The folder %1 could not be created.").arg(QDir::toNativeSeparators(folder)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return problem(file.errorString());
    file.write(LoginItem::entryContents(QCoreApplication::applicationFilePath()));
    if (!file.commit())
        return problem(file.errorString());
    return std::nullopt;
}
