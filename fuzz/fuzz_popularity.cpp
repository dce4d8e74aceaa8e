// Answers of the popularity service, read through the client over a network that answers every
// request with the input: the first byte picks the HTTP status, the rest is the body. A 2xx answer
// either reads as the records decode it or fails as an unexpected response; any other status fails
// with the server's text or the status. Records read from the body must code back to what they read.

#include "clients/PopularityClient.h"
#include "support/TaskRunner.h"

#include "FuzzSupport.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr int statuses[] = {200, 200, 200, 200, 204, 400, 401, 404, 429, 500, 503};

// A finished reply with a status and a body, ready on the next turn of the event loop.
class CannedReply : public QNetworkReply
{
public:
    CannedReply(const QNetworkRequest &request, QNetworkAccessManager::Operation operation, int status, QByteArray body,
                QObject *parent)
        : QNetworkReply(parent), m_body(std::move(body))
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(operation);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
        if (status >= 400) {
            setError(status == 401 ? AuthenticationRequiredError : UnknownContentError,
                     QStringLiteral("HTTP %1").arg(status));
        }
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QTimer::singleShot(0, this, [this] {
            setFinished(true);
            Q_EMIT finished();
        });
    }

    void abort() override {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_body.size() - m_read + QNetworkReply::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, m_body.size() - m_read);
        std::memcpy(data, m_body.constData() + m_read, size_t(n));
        m_read += n;
        return n;
    }

private:
    QByteArray m_body;
    qint64 m_read = 0;
};

class CannedNetwork : public QNetworkAccessManager
{
public:
    int status = 200;
    QByteArray body;

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request, QIODevice *) override
    {
        return new CannedReply(request, operation, status, body, this);
    }
};

CannedNetwork &network()
{
    static CannedNetwork n;
    return n;
}

template<typename T>
void checkCodedForm(const T &record)
{
    FUZZ_CHECK(T::fromJson(record.toJson()) == record, QString());
    const QByteArray text = QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
    FUZZ_CHECK(T::fromJson(QJsonDocument::fromJson(text).object()) == record, QString::fromUtf8(text));
}

// What the client must make of a 2xx answer: the decoded records, or a failure exactly when they
// do not decode.
template<typename T>
void checkAnswer(const TaskOutcome<T> &outcome, const std::optional<T> &decoded)
{
    if (!decoded) {
        const auto error = outcome.template errorAs<PopularityError>();
        FUZZ_CHECK(error && error->message == QStringLiteral("The popularity server returned an unexpected response."),
                   error ? error->message : QStringLiteral("no failure"));
        return;
    }
    FUZZ_CHECK(outcome.succeeded(), QString());
}

void checkFailure(const std::exception_ptr &error, int status)
{
    try {
        std::rethrow_exception(error);
    } catch (const PopularityError &e) {
        FUZZ_CHECK(status == 401 || e.message.startsWith(QStringLiteral("Popularity server error (HTTP %1)").arg(status)),
                   e.message);
    } catch (...) {
        FUZZ_CHECK(false, QStringLiteral("not a PopularityError"));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ensureApplication();
    network();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int status = statuses[data[0] % std::size(statuses)];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    network().status = status;
    network().body = body;

    PopularityClient client(QUrl(QStringLiteral("https://popularity.example/")), QStringLiteral("token"), &network());
    const QStringList terms{QStringLiteral("photo"), QStringLiteral("photo editor")};
    const auto popularity = TaskRunner::run(client.popularity(QStringLiteral("us"), terms));
    const auto topTerms = TaskRunner::run(
        client.topTerms(QStringLiteral("us"), std::nullopt, std::nullopt, std::nullopt, std::nullopt, 50, 0));

    const QJsonDocument document = QJsonDocument::fromJson(body);
    const std::optional<PopularityResponse> decodedPopularity =
        document.isObject() ? PopularityResponse::fromJson(document.object()) : std::nullopt;
    const std::optional<TopTermsResponse> decodedTopTerms =
        document.isObject() ? TopTermsResponse::fromJson(document.object()) : std::nullopt;
    if (status / 100 == 2) {
        checkAnswer(popularity, decodedPopularity);
        checkAnswer(topTerms, decodedTopTerms);
        if (popularity.succeeded()) {
            FUZZ_CHECK(popularity.value->country == QStringLiteral("us") && popularity.value->items == decodedPopularity->items
                           && popularity.value->week == decodedPopularity->week,
                       QString());
        }
        if (topTerms.succeeded())
            FUZZ_CHECK(*topTerms.value == *decodedTopTerms, QString());
    } else {
        FUZZ_CHECK(!popularity.succeeded() && !topTerms.succeeded(), QStringLiteral("an error status succeeded"));
        checkFailure(popularity.error, status);
        checkFailure(topTerms.error, status);
    }

    if (decodedPopularity)
        checkCodedForm(*decodedPopularity);
    if (decodedTopTerms)
        checkCodedForm(*decodedTopTerms);
    return 0;
}
