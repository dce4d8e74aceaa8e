#include "AppRecords.h"

#include "support/JsonRead.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <limits>

namespace {

// The first of the keys whose value is a string, as a URL. A string that is not
// a URL ends the search: later keys are not consulted.
std::optional<QUrl> firstURL(const QJsonObject &object, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        if (const std::optional<QString> text = JsonRead::string(object.value(QLatin1String(key))))
            return AppRecords::urlFromString(*text);
    }
    return std::nullopt;
}

// The store link without the "uo" tracking items; with no item left the query
// goes altogether, question mark included.
std::optional<QUrl> storeURL(const QJsonValue &value)
{
    const std::optional<QString> text = JsonRead::string(value);
    if (!text)
        return std::nullopt;
    std::optional<QUrl> url = AppRecords::urlFromString(*text);
    if (!url || !url->hasQuery())
        return url;
    // Work on the encoded query so the other items keep their exact spelling.
    QStringList kept;
    bool anyLeft = false;
    const QStringList items = url->query(QUrl::FullyEncoded).split(QLatin1Char('&'));
    for (const QString &item : items) {
        const QString name = item.section(QLatin1Char('='), 0, 0);
        if (QUrl::fromPercentEncoding(name.toUtf8()) == QLatin1String("uo"))
            continue;
        kept.append(item);
        anyLeft = anyLeft || !item.isEmpty();
    }
    if (kept.size() == items.size())
        return url;
    if (anyLeft)
        url->setQuery(kept.join(QLatin1Char('&')), QUrl::StrictMode);
    else
        url->setQuery(QString());
    return url;
}

bool allDigits(QStringView text)
{
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

int number(QStringView digits)
{
    int n = 0;
    for (QChar c : digits)
        n = n * 10 + (c.unicode() - '0');
    return n;
}

// ---- stored JSON -------------------------------------------------------------

QByteArray jsonScalar(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Writes one object with its keys in the order they are added; QJsonObject
// would sort them.
class ObjectWriter
{
public:
    template<typename T>
    void field(const char *key, const T &value)
    {
        openKey(key);
        m_out += encode(value);
    }

    template<typename T>
    void optionalField(const char *key, const std::optional<T> &value)
    {
        if (value)
            field(key, *value);
    }

    QByteArray finish() { return m_out + '}'; }

private:
    void openKey(const char *key)
    {
        if (m_out.size() > 1)
            m_out += ',';
        m_out += jsonScalar(QString::fromLatin1(key));
        m_out += ':';
    }

    static QByteArray encode(const QString &s) { return jsonScalar(s); }
    static QByteArray encode(const QUrl &u) { return jsonScalar(AppRecords::urlText(u)); }
    static QByteArray encode(double d) { return jsonScalar(d); }
    static QByteArray encode(qint64 n) { return jsonScalar(n); }
    static QByteArray encode(int n) { return jsonScalar(n); }
    static QByteArray encode(const QStringList &list)
    {
        return QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact);
    }
    static QByteArray encode(const QDateTime &date) { return jsonScalar(date.toUTC().toString(Qt::ISODate)); }

    QByteArray m_out = "{";
};

// Reads one stored object. Missing or null optional keys are absent; a present
// value of the wrong type, or a missing required key, marks the object bad.
class ObjectReader
{
public:
    explicit ObjectReader(const QJsonObject &object) : m_object(object) {}

    bool ok() const { return m_ok; }

    QString requiredString(const char *key) { return required(key, JsonRead::string).value_or(QString()); }
    std::optional<QString> optionalString(const char *key) { return optional(key, JsonRead::string); }
    std::optional<QUrl> optionalURL(const char *key) { return optional(key, urlValue); }
    std::optional<double> optionalNumber(const char *key) { return optional(key, JsonRead::number); }
    std::optional<qint64> optionalInteger(const char *key) { return optional(key, JsonRead::exactInteger); }
    std::optional<QDateTime> optionalDate(const char *key) { return optional(key, dateValue); }
    QStringList requiredStringList(const char *key) { return required(key, JsonRead::stringList).value_or(QStringList()); }

    int requiredInt(const char *key)
    {
        const std::optional<qint64> n = required(key, JsonRead::exactInteger);
        if (n && (*n < std::numeric_limits<int>::min() || *n > std::numeric_limits<int>::max())) {
            m_ok = false;
            return 0;
        }
        return int(n.value_or(0));
    }

private:
    template<typename F>
    auto required(const char *key, F read) -> decltype(read(QJsonValue()))
    {
        auto result = read(m_object.value(QLatin1String(key)));
        if (!result)
            m_ok = false;
        return result;
    }

    template<typename F>
    auto optional(const char *key, F read) -> decltype(read(QJsonValue()))
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return required(key, read);
    }

    static std::optional<QUrl> urlValue(const QJsonValue &value)
    {
        const std::optional<QString> text = JsonRead::string(value);
        return text ? AppRecords::urlFromString(*text) : std::nullopt;
    }

    static std::optional<QDateTime> dateValue(const QJsonValue &value)
    {
        const std::optional<QString> text = JsonRead::string(value);
        return text ? AppRecords::parseDateTime(*text) : std::nullopt;
    }

    const QJsonObject &m_object;
    bool m_ok = true;
};

QByteArray encodeHit(const SearchHit &hit)
{
    ObjectWriter w;
    w.field("appleAppId", hit.appleAppId);
    w.field("name", hit.name);
    w.optionalField("developerName", hit.developerName);
    w.optionalField("iconURL", hit.iconURL);
    w.optionalField("storeURL", hit.storeURL);
    w.optionalField("primaryGenre", hit.primaryGenre);
    w.optionalField("ratingCount", hit.ratingCount);
    w.optionalField("averageRating", hit.averageRating);
    w.field("rank", hit.rank);
    return w.finish();
}

std::optional<SearchHit> decodeHit(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    ObjectReader r(object);
    SearchHit hit;
    hit.appleAppId = r.requiredString("appleAppId");
    hit.name = r.requiredString("name");
    hit.developerName = r.optionalString("developerName");
    hit.iconURL = r.optionalURL("iconURL");
    hit.storeURL = r.optionalURL("storeURL");
    hit.primaryGenre = r.optionalString("primaryGenre");
    hit.ratingCount = r.optionalInteger("ratingCount");
    hit.averageRating = r.optionalNumber("averageRating");
    hit.rank = r.requiredInt("rank");
    if (!r.ok())
        return std::nullopt;
    return hit;
}

template<typename T>
size_t hashOptional(const std::optional<T> &value, size_t seed)
{
    // The presence flag keeps an absent field apart from every present value.
    return value ? qHashMulti(seed, true, *value) : qHash(false, seed);
}

} // namespace

size_t qHash(const AppInfo &app, size_t seed) noexcept
{
    size_t h = qHashMulti(seed, app.appleAppId, app.name);
    h = hashOptional(app.developerName, h);
    h = hashOptional(app.iconURL, h);
    h = hashOptional(app.storeURL, h);
    h = hashOptional(app.description, h);
    h = hashOptional(app.primaryGenre, h);
    h = qHash(app.genres, h);
    h = hashOptional(app.bundleId, h);
    h = hashOptional(app.averageRating, h);
    h = hashOptional(app.ratingCount, h);
    h = hashOptional(app.price, h);
    h = hashOptional(app.formattedPrice, h);
    h = hashOptional(app.version, h);
    h = hashOptional(app.currentVersionReleaseDate, h);
    return hashOptional(app.releaseDate, h);
}

size_t qHash(const SearchHit &hit, size_t seed) noexcept
{
    size_t h = qHashMulti(seed, hit.appleAppId, hit.name);
    h = hashOptional(hit.developerName, h);
    h = hashOptional(hit.iconURL, h);
    h = hashOptional(hit.storeURL, h);
    h = hashOptional(hit.primaryGenre, h);
    h = hashOptional(hit.ratingCount, h);
    h = hashOptional(hit.averageRating, h);
    return qHash(hit.rank, h);
}

namespace AppRecords {

std::optional<AppInfo> parseApp(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto field = [&o](const char *key) { return o.value(QLatin1String(key)); };

    const std::optional<qint64> trackId = JsonRead::exactInteger(field("trackId"));
    if (!trackId || *trackId < 1)
        return std::nullopt;
    const std::optional<QString> trackName = JsonRead::string(field("trackName"));
    if (!trackName || trackName->isEmpty())
        return std::nullopt;

    AppInfo app;
    app.appleAppId = QString::number(*trackId);
    app.name = *trackName;
    app.developerName = JsonRead::string(field("artistName"));
    if (!app.developerName)
        app.developerName = JsonRead::string(field("sellerName"));
    app.iconURL = firstURL(o, {"artworkUrl512", "artworkUrl100", "artworkUrl60"});
    app.storeURL = storeURL(field("trackViewUrl"));
    app.description = JsonRead::string(field("description"));
    app.primaryGenre = JsonRead::string(field("primaryGenreName"));

    if (std::optional<QStringList> genres = JsonRead::stringList(field("genres")))
        app.genres = std::move(*genres);
    else if (app.primaryGenre)
        app.genres = QStringList{*app.primaryGenre};

    app.bundleId = JsonRead::string(field("bundleId"));
    app.averageRating = JsonRead::number(field("averageUserRating"));
    app.ratingCount = JsonRead::exactInteger(field("userRatingCount"));
    app.price = JsonRead::number(field("price"));
    app.formattedPrice = JsonRead::string(field("formattedPrice"));
    app.version = JsonRead::string(field("version"));
    if (const auto text = JsonRead::string(field("currentVersionReleaseDate")))
        app.currentVersionReleaseDate = parseDateTime(*text);
    if (const auto text = JsonRead::string(field("releaseDate")))
        app.releaseDate = parseDateTime(*text);
    return app;
}

std::optional<SearchHit> parseHit(const QJsonValue &value, qint64 offset)
{
    const std::optional<AppInfo> app = parseApp(value);
    if (!app)
        return std::nullopt;
    std::optional<QUrl> icon = firstURL(value.toObject(), {"artworkUrl100", "artworkUrl60"});
    if (!icon)
        icon = app->iconURL;

    SearchHit hit;
    hit.appleAppId = app->appleAppId;
    hit.name = app->name;
    hit.developerName = app->developerName;
    hit.iconURL = icon;
    hit.storeURL = app->storeURL;
    hit.primaryGenre = app->primaryGenre;
    hit.ratingCount = app->ratingCount;
    hit.averageRating = app->averageRating;
    hit.rank = int(offset + 1);
    return hit;
}

QByteArray encodeHits(const QList<SearchHit> &hits)
{
    QByteArray out = "[";
    for (qsizetype i = 0; i < hits.size(); ++i) {
        if (i > 0)
            out += ',';
        out += encodeHit(hits.at(i));
    }
    return out + ']';
}

std::optional<QList<SearchHit>> decodeHits(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<SearchHit> hits;
    const QJsonArray array = document.array();
    hits.reserve(array.size());
    for (const QJsonValue &element : array) {
        std::optional<SearchHit> hit = decodeHit(element);
        if (!hit)
            return std::nullopt;
        hits.append(std::move(*hit));
    }
    return hits;
}

QByteArray encodeAppInfo(const AppInfo &app)
{
    ObjectWriter w;
    w.field("appleAppId", app.appleAppId);
    w.field("name", app.name);
    w.optionalField("developerName", app.developerName);
    w.optionalField("iconURL", app.iconURL);
    w.optionalField("storeURL", app.storeURL);
    w.optionalField("description", app.description);
    w.optionalField("primaryGenre", app.primaryGenre);
    w.field("genres", app.genres);
    w.optionalField("bundleId", app.bundleId);
    w.optionalField("averageRating", app.averageRating);
    w.optionalField("ratingCount", app.ratingCount);
    w.optionalField("price", app.price);
    w.optionalField("formattedPrice", app.formattedPrice);
    w.optionalField("version", app.version);
    w.optionalField("currentVersionReleaseDate", app.currentVersionReleaseDate);
    w.optionalField("releaseDate", app.releaseDate);
    return w.finish();
}

std::optional<AppInfo> decodeAppInfo(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    ObjectReader r(object);
    AppInfo app;
    app.appleAppId = r.requiredString("appleAppId");
    app.name = r.requiredString("name");
    app.developerName = r.optionalString("developerName");
    app.iconURL = r.optionalURL("iconURL");
    app.storeURL = r.optionalURL("storeURL");
    app.description = r.optionalString("description");
    app.primaryGenre = r.optionalString("primaryGenre");
    app.genres = r.requiredStringList("genres");
    app.bundleId = r.optionalString("bundleId");
    app.averageRating = r.optionalNumber("averageRating");
    app.ratingCount = r.optionalInteger("ratingCount");
    app.price = r.optionalNumber("price");
    app.formattedPrice = r.optionalString("formattedPrice");
    app.version = r.optionalString("version");
    app.currentVersionReleaseDate = r.optionalDate("currentVersionReleaseDate");
    app.releaseDate = r.optionalDate("releaseDate");
    if (!r.ok())
        return std::nullopt;
    return app;
}

std::optional<QDateTime> parseDateTime(const QString &text)
{
    // Positions of the fixed separators in "YYYY-MM-DDTHH:MM:SS".
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    const QStringView s(text);
    if (s[4] != QLatin1Char('-') || s[7] != QLatin1Char('-') || s[10] != QLatin1Char('T')
        || s[13] != QLatin1Char(':') || s[16] != QLatin1Char(':'))
        return std::nullopt;
    const QStringView fields[] = {s.mid(0, 4), s.mid(5, 2), s.mid(8, 2), s.mid(11, 2), s.mid(14, 2), s.mid(17, 2)};
    for (QStringView f : fields) {
        if (!allDigits(f))
            return std::nullopt;
    }
    const QDate date(number(fields[0]), number(fields[1]), number(fields[2]));
    const int hour = number(fields[3]);
    const int minute = number(fields[4]);
    const int second = number(fields[5]);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    int offsetSeconds = 0;
    const QStringView zone = s.mid(19);
    if (zone.size() == 1) {
        if (zone[0] != QLatin1Char('Z'))
            return std::nullopt;
    } else {
        const QChar sign = zone[0];
        if ((sign != QLatin1Char('+') && sign != QLatin1Char('-')) || zone[3] != QLatin1Char(':'))
            return std::nullopt;
        const QStringView hh = zone.mid(1, 2);
        const QStringView mm = zone.mid(4, 2);
        if (!allDigits(hh) || !allDigits(mm) || number(hh) > 23 || number(mm) > 59)
            return std::nullopt;
        offsetSeconds = (number(hh) * 3600 + number(mm) * 60) * (sign == QLatin1Char('-') ? -1 : 1);
    }
    const QDateTime moment = QDateTime(date, QTime(hour, minute, second), QTimeZone::utc()).addSecs(-offsetSeconds);
    const qint64 ms = moment.toMSecsSinceEpoch();
    if (ms < earliestDateMs || ms > latestDateMs)
        return std::nullopt;
    return moment;
}

std::optional<QUrl> urlFromString(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    QUrl url(text);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QString urlText(const QUrl &url)
{
    return url.toString(QUrl::ComponentFormattingOptions(QUrl::EncodeSpaces | QUrl::EncodeUnicode | QUrl::EncodeReserved));
}

} // namespace AppRecords
