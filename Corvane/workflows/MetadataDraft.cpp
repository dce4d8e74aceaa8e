#include "workflows/MetadataDraft.h"

#include "store/ASOStore.h"
#include "store/Settings.h"
#include "support/Unicode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

// Drafts count time in seconds from 2001-01-01T00:00:00Z, which is this many milliseconds
// after the Unix epoch.
constexpr qint64 referenceDateMs = 978'307'200'000;

// Later than any date a draft can carry; keeps the conversion to milliseconds in range.
constexpr double largestSeconds = 1e14;

QByteArray jsonString(const QString &text)
{
    // QJsonDocument escapes; only a complete document can be written, so strip the brackets.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Whole milliseconds as exact decimal seconds, without trailing zeros: 12.5, -0.001, 7.
QByteArray decimalSeconds(qint64 ms)
{
    const bool negative = ms < 0;
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(ms) : static_cast<quint64>(ms);
    QByteArray text = QByteArray::number(magnitude / 1000);
    if (const quint64 fraction = magnitude % 1000) {
        QByteArray digits = QByteArray::number(fraction).rightJustified(3, '0');
        while (digits.endsWith('0'))
            digits.chop(1);
        text += '.' + digits;
    }
    return negative ? '-' + text : text;
}

bool codePointLess(const QString &a, const QString &b)
{
    return Unicode::compare(a, b) < 0;
}

}

QString MetadataDraft::settingsKey(const QString &appleAppId)
{
    return QStringLiteral("metadataDraft.") + appleAppId;
}

QByteArray MetadataDraft::toJson() const
{
    // Built by hand: QJsonObject would sort the keys.
    QByteArray json = "{\"title\":" + jsonString(title);
    json += ",\"subtitle\":" + jsonString(subtitle);
    json += ",\"keywordField\":" + jsonString(keywordField);
    if (targets)
        json += ",\"targets\":" + QJsonDocument(QJsonArray::fromStringList(*targets)).toJson(QJsonDocument::Compact);
    json += ",\"updatedAt\":" + decimalSeconds(updatedAt.toMSecsSinceEpoch() - referenceDateMs);
    json += '}';
    return json;
}

std::optional<MetadataDraft> MetadataDraft::fromJson(const QByteArray &json)
{
    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const auto object = document.object();

    const auto title = object.value(QLatin1String("title"));
    const auto subtitle = object.value(QLatin1String("subtitle"));
    const auto keywordField = object.value(QLatin1String("keywordField"));
    const auto updatedAt = object.value(QLatin1String("updatedAt"));
    if (!title.isString() || !subtitle.isString() || !keywordField.isString() || !updatedAt.isDouble())
        return std::nullopt;
    const double seconds = updatedAt.toDouble();
    if (std::abs(seconds) > largestSeconds)
        return std::nullopt;

    MetadataDraft draft;
    draft.title = title.toString();
    draft.subtitle = subtitle.toString();
    draft.keywordField = keywordField.toString();
    draft.updatedAt = QDateTime::fromMSecsSinceEpoch(referenceDateMs + std::llround(seconds * 1000), QTimeZone::utc());

    const auto targets = object.value(QLatin1String("targets"));
    if (targets.isArray()) {
        QStringList list;
        for (const auto &target : targets.toArray()) {
            if (!target.isString())
                return std::nullopt;
            list.append(target.toString());
        }
        draft.targets = list;
    } else if (!targets.isUndefined() && !targets.isNull()) {
        return std::nullopt;
    }
    return draft;
}

std::optional<MetadataDraft> MetadataDraft::load(const QString &appleAppId)
{
    const auto stored = Settings::shared().value(settingsKey(appleAppId));
    if (!stored.isValid())
        return std::nullopt;
    return fromJson(stored.toByteArray());
}

MetadataDraft ASOStore::metadataDraft(const TrackedApp &app)
{
    if (auto stored = MetadataDraft::load(app.appleAppId))
        return *stored;
    // Not written until the editor saves it.
    MetadataDraft draft;
    draft.title = app.name;
    draft.updatedAt = QDateTime::currentDateTimeUtc();
    return draft;
}

void ASOStore::saveMetadataDraft(const MetadataDraft &draft, const QString &appleAppId)
{
    auto stamped = draft;
    stamped.updatedAt = QDateTime::currentDateTimeUtc();
    Settings::shared().setValue(MetadataDraft::settingsKey(appleAppId), stamped.toJson());
}

QStringList suggestedTargets(const QList<KeywordRow> &rows, qsizetype limit)
{
    QList<const KeywordRow *> known;
    for (const auto &row : rows) {
        if (row.popularity)
            known.append(&row);
    }
    std::stable_sort(known.begin(), known.end(), [](const KeywordRow *a, const KeywordRow *b) {
        if (a->opportunitySortKey() != b->opportunitySortKey())
            return a->opportunitySortKey() > b->opportunitySortKey();
        if (a->popularitySortKey() != b->popularitySortKey())
            return a->popularitySortKey() > b->popularitySortKey();
        return codePointLess(a->id, b->id);
    });
    QStringList ids;
    for (qsizetype i = 0; i < std::min(known.size(), std::max<qsizetype>(limit, 0)); ++i)
        ids.append(known[i]->id);
    return ids;
}

QList<MetadataOptimizer::Target> optimizerTargets(const QList<KeywordRow> &rows, const QSet<QString> &selected)
{
    QList<const KeywordRow *> chosen;
    for (const auto &row : rows) {
        if (selected.contains(row.id))
            chosen.append(&row);
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const KeywordRow *a, const KeywordRow *b) { return codePointLess(a->id, b->id); });
    QList<MetadataOptimizer::Target> targets;
    targets.reserve(chosen.size());
    for (const auto *row : chosen)
        targets.append({row->id, row->popularity, row->difficulty});
    return targets;
}
