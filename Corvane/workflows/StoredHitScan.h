#pragma once

#include <QByteArrayView>
#include <QList>

#include <optional>

// Reads the app ID and rank of every hit of a search's stored hits without decoding the rest,
// many times faster than decoding them, for analyses that look at nothing else. It answers only
// for JSON of which it can vouch that decoding succeeds and reads the same IDs and ranks: the
// stored form as it is written, also reordered, spaced out, with escapes or with optional keys
// missing or null. For anything else (an escaped ID, an unknown or repeated key, a number or a
// web address out of the ordinary, text that is not well-formed, JSON that does not decode) it
// answers nothing, and the caller decodes in full.
namespace StoredHitScan {

struct Hit
{
    // The ID's UTF-8 bytes, within the scanned JSON.
    QByteArrayView appleAppId;
    int rank = 0;
    // The bytes of the hit's object within the scanned JSON, from its "{" to after its "}".
    qsizetype begin = 0;
    qsizetype end = 0;
};

std::optional<QList<Hit>> scan(QByteArrayView json);

}
