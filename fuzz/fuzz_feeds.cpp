// Answers of the reviews and chart feeds, read through the client over a scripted transport. Each
// review must read back from its coded form (as JSON text) unchanged; the same bytes read as a
// coded review must code back to what they read.

#include "clients/FeedsClient.h"
#include "support/TaskRunner.h"

#include "FakeTransport.h"
#include "FuzzSupport.h"

#include <QJsonDocument>

namespace {

struct Harness
{
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    // No retry: a malformed answer fails at once.
    FeedsClient client{AppleHTTP(transport, nullptr, RetryPolicy{15, 0, 2, 30})};
};

Harness &harness()
{
    static Harness h;
    return h;
}

// Through JSON text, as a coded review is kept.
std::optional<FeedReview> throughText(const FeedReview &review)
{
    const QByteArray text = QJsonDocument(review.toJson()).toJson(QJsonDocument::Compact);
    return FeedReview::fromJson(QJsonDocument::fromJson(text).object());
}

QString describe(const FeedReview &review)
{
    return QString::fromUtf8(QJsonDocument(review.toJson()).toJson(QJsonDocument::Compact))
        + (review.date ? QStringLiteral(" date ") + review.date->toString(Qt::ISODateWithMs) : QString());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ensureApplication();
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    Harness &h = harness();
    h.transport->steps = {FakeTransport::json(body)};
    h.transport->urls.clear();
    h.transport->timeouts.clear();

    const auto reviews = TaskRunner::run(h.client.reviews(QStringLiteral("284882215"), QStringLiteral("us"), 1));
    const auto chart = TaskRunner::run(h.client.chart(ChartKind::topFree, QStringLiteral("us")));
    const QJsonDocument document = QJsonDocument::fromJson(body);
    // Only an answer that is no JSON object fails, and then both fail alike.
    FUZZ_CHECK(reviews.succeeded() == document.isObject() && chart.succeeded() == document.isObject(),
               QStringLiteral("failed on a JSON object, or read something else"));
    if (!document.isObject()) {
        const auto error = reviews.errorAs<AppleRequestError>();
        FUZZ_CHECK(error && error->kind == AppleRequestError::Kind::malformed, QString());
        return 0;
    }

    const qsizetype entries = FeedsClient::entries(document.object()).size();
    FUZZ_CHECK(reviews.value->size() <= entries && chart.value->size() <= entries, QString());
    for (const FeedReview &review : *reviews.value)
        FUZZ_CHECK(throughText(review) == review, describe(review));

    if (const auto coded = FeedReview::fromJson(document.object()))
        FUZZ_CHECK(throughText(*coded) == coded, describe(*coded));
    return 0;
}
