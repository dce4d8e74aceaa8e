#pragma once

#include "keywords/MetadataOptimizer.h"
#include "store/KeywordRow.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The metadata editor's draft of an app's name, subtitle and keyword field, with the target
// keywords it is written against. One per app, kept in the settings as JSON under
// "metadataDraft." followed by the app ID; it stays when the app is deleted.
struct MetadataDraft
{
    QString title;
    QString subtitle;
    QString keywordField;
    // Normal forms of the chosen keywords. Absent until a choice was made, which is not the
    // same as an empty choice.
    std::optional<QStringList> targets;
    // When the draft was last saved.
    QDateTime updatedAt;

    bool operator==(const MetadataDraft &) const = default;

    static QString settingsKey(const QString &appleAppId);

    // Compact JSON, keys in field order; "targets" only when present; "updatedAt" as seconds
    // since 2001-01-01T00:00:00Z.
    QByteArray toJson() const;
    // Nothing when the text is no JSON object, lacks a required key or holds a value of the
    // wrong type; unknown keys are ignored.
    static std::optional<MetadataDraft> fromJson(const QByteArray &json);

    // The draft stored for the app; nothing when none is stored or it cannot be read (the
    // stored value is then left as it is).
    static std::optional<MetadataDraft> load(const QString &appleAppId);
};

// The default choice of targets: the keywords with a known popularity, best opportunity first
// (an unknown one after every known one), then higher popularity, then keyword; at most
// `limit` of them.
QStringList suggestedTargets(const QList<KeywordRow> &rows, qsizetype limit);

// The targets handed to the metadata optimiser: the selected keywords that still have a row,
// by keyword, each with its popularity and difficulty.
QList<MetadataOptimizer::Target> optimizerTargets(const QList<KeywordRow> &rows, const QSet<QString> &selected);
