// Keyword text: the normal form is its own normal form, the fast paths for ASCII and for text
// split ahead give what the general ones give, and stripping links removes what the link
// expression finds, searched over the whole text at once.

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include "FuzzSupport.h"

namespace {

QStringList words(const KeywordText::TokenViews &views)
{
    QStringList list;
    for (const QStringView word : views)
        list.append(word.toString());
    return list;
}

bool isComma(QChar c)
{
    return c == u',';
}

// The words of the text's pieces between commas, as the numbered text gives them.
QList<QStringList> numberedPieces(const KeywordText::NumberedText &text, KeywordText::NumberedText::Pieces pieces)
{
    QList<QStringList> result;
    text.forEachPiece(isComma, [&](std::span<const int> numbers) {
        QStringList piece;
        for (const int n : numbers)
            piece.append(text.words().word(n));
        result.append(piece);
    }, pieces);
    return result;
}

// The same, split here and read with tokenize().
QList<QStringList> tokenizedPieces(const QString &text, bool cleaned)
{
    QList<QStringList> result;
    for (const QString &piece : text.split(u',')) {
        const QStringList tokens = KeywordText::tokenize(cleaned ? KeywordText::clean(piece) : piece);
        if (!tokens.isEmpty())
            result.append(tokens);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = Fuzz::text(data, size);
    const QString detail = Fuzz::codePoints(text);

    const QString normal = KeywordText::normalize(text);
    FUZZ_CHECK(KeywordText::normalize(normal) == normal, detail + QStringLiteral(" → ") + Fuzz::codePoints(normal));
    // The normal form is the cleaned, lower-cased text, cleaned again where that unsettled it.
    FUZZ_CHECK(normal == KeywordText::normalize(Unicode::lowercased(KeywordText::clean(text))), detail);

    const QStringList tokens = KeywordText::tokenize(text);
    FUZZ_CHECK(words(KeywordText::TokenViews(text)) == tokens, detail);
    for (const QString &token : tokens)
        FUZZ_CHECK(!token.isEmpty(), detail);
    for (const QString &token : KeywordText::meaningfulTokens(text))
        FUZZ_CHECK(tokens.contains(token) && KeywordText::isMeaningful(token), detail);

    static const Unicode::Regex addresses(
        QStringLiteral(R"re((https?://|www\.)\S+|\b[\w-]+\.(com|net|org|io|app|co|ai|dev)\b(/\S*)?)re"), true);
    const QString stripped = KeywordText::stripURLs(text);
    FUZZ_CHECK(stripped == addresses.replaceAll(text, QStringLiteral(" ")), detail);

    KeywordText::WordNumbers numbers;
    const KeywordText::NumberedText numbered(text, numbers);
    FUZZ_CHECK(numbered.withoutLinks().text() == stripped, detail);
    using Pieces = KeywordText::NumberedText::Pieces;
    FUZZ_CHECK(numberedPieces(numbered, Pieces::raw) == tokenizedPieces(text, false), detail);
    FUZZ_CHECK(numberedPieces(numbered, Pieces::cleaned) == tokenizedPieces(text, true), detail);
    FUZZ_CHECK(numberedPieces(numbered.withoutLinks(), Pieces::raw) == tokenizedPieces(stripped, false), detail);

    QSet<QString> seen;
    for (const KeywordText::Entry &entry : KeywordText::dedupe(KeywordText::splitInput(text))) {
        FUZZ_CHECK(KeywordText::isUsable(entry.normalized) && !seen.contains(entry.normalized), detail);
        seen.insert(entry.normalized);
    }
    return 0;
}
