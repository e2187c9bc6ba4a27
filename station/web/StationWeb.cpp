// SPDX-License-Identifier: Apache-2.0
#include "StationWeb.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QUrlQuery>

#include "LineState.h"
#include "PageAuth.h"
#include "PageJson.h"
#include "RecordCsv.h"

using Status = QHttpServerResponder::StatusCode;

// What a request gets, before the headers every answer carries are added.
struct CPageReply {
    Status status = Status::Ok;
    QByteArray type;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

namespace {

// Script, style and data come from this station only; nothing inline, no frames, no plugins.
constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

constexpr char kJson[] = "application/json";
constexpr int kDefaultRecordLimit = 200;
constexpr int kMaxRecordLimit = 100000;
constexpr int kMaxFilterText = 64;

CPageReply JsonReply(const QJsonObject& object, Status status = Status::Ok) {
    return {status, kJson, JsonBytes(object), {}};
}

CPageReply ErrorReply(Status status, const QString& message) {
    return JsonReply(QJsonObject{{QStringLiteral("error"), message}}, status);
}

CPageReply Resource(const QString& name, const QByteArray& type) {
    QFile file(QStringLiteral(":/page/") + name);
    if (!file.open(QIODevice::ReadOnly)) return ErrorReply(Status::NotFound, "not found");
    return {Status::Ok, type, file.readAll(), {}};
}

CPageReply LoginPage(Status status, bool refused) {
    CPageReply reply = Resource(QStringLiteral("login.html"), "text/html; charset=utf-8");
    reply.status = status;
    reply.body.replace(
        "<!--refused-->",
        refused ? QByteArray("<p class=\"refused\">That token is not the one.</p>") : QByteArray());
    return reply;
}

bool IsApi(const QString& path) {
    return path.startsWith(QLatin1String("/api/")) || path == QLatin1String("/healthz");
}

}  // namespace

CStationWeb::CStationWeb(const CLineState& state, CRecordStore& store, const CWebOptions& options,
                         QObject* parent)
    : QObject(parent),
      m_state(state),
      m_store(store),
      m_options(options),
      m_server(std::make_unique<QHttpServer>()) {
    if (!m_options.token.isEmpty()) m_sessionCookie = SessionCookieValue(m_options.token);
    // No routes: every request comes here, so that each answer gets the same checks and headers.
    m_server->setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            Serve(request, std::move(responder));
        });
}

CStationWeb::~CStationWeb() = default;

bool CStationWeb::Listen(QString& error) {
    if (!CheckWebOptions(m_options, error)) return false;
    if (!m_options.enabled) return true;
    m_port = m_server->listen(m_options.address, m_options.port);
    if (m_port == 0) {
        error = QStringLiteral(
                    "--http: cannot listen on %1:%2 (in use, or not this host's "
                    "address)")
                    .arg(m_options.address.toString())
                    .arg(m_options.port);
        return false;
    }
    return true;
}

quint16 CStationWeb::Port() const {
    return m_port;
}

void CStationWeb::Serve(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
    const CPageReply reply = Route(request);
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Content-Security-Policy", kContentSecurityPolicy);
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("Cache-Control", "no-store");
    for (const auto& [name, value] : reply.headers) responder.writeHeader(name, value);
    // HEAD gets the headers GET would, and no body.
    if (request.method() == QHttpServerRequest::Method::Head)
        responder.writeBody(QByteArray());
    else
        responder.writeBody(reply.body);
}

CPageReply CStationWeb::Route(const QHttpServerRequest& request) {
    const QString path = request.url().path();
    const auto method = request.method();
    const bool read =
        method == QHttpServerRequest::Method::Get || method == QHttpServerRequest::Method::Head;

    if (path == QLatin1String("/login")) {
        if (method == QHttpServerRequest::Method::Post) return Login(request);
        if (!read) {
            CPageReply reply = ErrorReply(Status::MethodNotAllowed, "GET, HEAD or POST only");
            reply.headers.emplace_back("Allow", "GET, HEAD, POST");
            return reply;
        }
        if (m_options.token.isEmpty())
            return {Status::SeeOther, "text/plain", {}, {{"Location", "/"}}};
        return LoginPage(Status::Ok, false);
    }
    if (!read) {
        CPageReply reply = ErrorReply(Status::MethodNotAllowed, "read-only: GET or HEAD only");
        reply.headers.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    if (m_options.token.isEmpty() && !HostIsAddressLiteral(RequestHeader(request, "Host")))
        return ErrorReply(Status::Forbidden,
                          QStringLiteral("ask for this page by address, e.g. 127.0.0.1:PORT"));
    if (!RequestCarriesToken(request, m_options.token, m_sessionCookie)) {
        CPageReply reply = IsApi(path) ? ErrorReply(Status::Unauthorized, "token required")
                                       : LoginPage(Status::Unauthorized, false);
        reply.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"quillon-station\"");
        return reply;
    }

    if (path == QLatin1String("/") || path == QLatin1String("/index.html"))
        return Resource(QStringLiteral("index.html"), "text/html; charset=utf-8");
    if (path == QLatin1String("/page.css"))
        return Resource(QStringLiteral("page.css"), "text/css; charset=utf-8");
    if (path == QLatin1String("/page.js"))
        return Resource(QStringLiteral("page.js"), "text/javascript; charset=utf-8");
    if (path == QLatin1String("/api/units")) return Units(request);
    if (path == QLatin1String("/api/records")) return Records(request, false);
    if (path == QLatin1String("/api/records.csv")) return Records(request, true);
    if (path == QLatin1String("/api/firmware")) return JsonReply(FirmwareJson(m_state.firmware));
    if (path == QLatin1String("/healthz")) return Health();
    if (IsApi(path)) return ErrorReply(Status::NotFound, "no such resource");
    return {Status::NotFound, "text/plain; charset=utf-8", "Not found.\n", {}};
}

CPageReply CStationWeb::Login(const QHttpServerRequest& request) {
    if (m_options.token.isEmpty()) return {Status::SeeOther, "text/plain", {}, {{"Location", "/"}}};
    if (!ConstantTimeEqual(FormToken(request.body()), m_options.token))
        return LoginPage(Status::Unauthorized, true);
    // HttpOnly: the page's script never sees it; Strict: no other site's form carries it.
    return {Status::SeeOther,
            "text/plain",
            {},
            {{"Location", "/"},
             {"Set-Cookie", QByteArray(kSessionCookieName) + '=' + m_sessionCookie +
                                "; Path=/; HttpOnly; SameSite=Strict"}}};
}

void CStationWeb::RefreshCounts() {
    if (m_state.databaseDown) return;  // the store would only wait for a database that is away
    const bool changed = m_countsGeneration != m_state.generation;
    const qint64 age = m_countsAge.isValid() ? m_countsAge.elapsed() : -1;
    if (m_countsKnown && age >= 0 && age < 30000 && !(changed && age >= 500)) return;
    CRecordCounts counts;
    QString error;
    if (m_store.Counts(counts, error)) {
        if (!m_countsKnown || counts.verified != m_counts.verified ||
            counts.failed != m_counts.failed ||
            counts.verifiedLastHour != m_counts.verifiedLastHour)
            ++m_countsSerial;
        m_counts = counts;
        m_countsKnown = true;
    }
    m_countsGeneration = m_state.generation;
    m_countsAge.start();
}

QString CStationWeb::Version() const {
    return QStringLiteral("%1.%2.%3")
        .arg(m_state.generation)
        .arg(m_countsSerial)
        .arg(m_state.databaseDown ? 1 : 0);
}

CPageReply CStationWeb::Units(const QHttpServerRequest& request) {
    RefreshCounts();
    const QString version = Version();
    // While the counters lag behind the line, the next poll must still get them.
    const bool countsCurrent = m_state.databaseDown || m_countsGeneration == m_state.generation;
    if (countsCurrent && request.query().queryItemValue(QStringLiteral("version")) == version)
        return JsonReply(
            QJsonObject{{QStringLiteral("version"), version}, {QStringLiteral("unchanged"), true}});
    QJsonObject line =
        LineJson(m_state, m_countsKnown ? &m_counts : nullptr, QDateTime::currentDateTimeUtc());
    line[QStringLiteral("version")] = version;
    return JsonReply(line);
}

CPageReply CStationWeb::Records(const QHttpServerRequest& request, bool csv) {
    const QUrlQuery query = request.query();
    auto item = [&](const char* name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    CRecordFilter filter;
    filter.mac = item("mac").trimmed();
    if (filter.mac.size() > kMaxFilterText)
        return ErrorReply(Status::BadRequest, QStringLiteral("mac: at most 64 characters"));
    const QString since = item("since").trimmed();
    if (!since.isEmpty()) {
        filter.since = QDateTime::fromString(since, Qt::ISODateWithMs);
        if (!filter.since.isValid())
            return ErrorReply(Status::BadRequest,
                              QStringLiteral("since: not an ISO 8601 time, e.g. "
                                             "2026-05-04T10:00:00Z"));
        if (filter.since.timeSpec() == Qt::LocalTime) filter.since.setTimeSpec(Qt::UTC);
    }
    const QString failed = item("failed").toLower();
    if (failed == QLatin1String("1") || failed == QLatin1String("true") ||
        failed == QLatin1String("yes") || failed == QLatin1String("on"))
        filter.failedOnly = true;
    else if (!failed.isEmpty() && failed != QLatin1String("0") &&
             failed != QLatin1String("false") && failed != QLatin1String("no") &&
             failed != QLatin1String("off"))
        return ErrorReply(Status::BadRequest, QStringLiteral("failed: 1 or 0"));
    filter.limit = kDefaultRecordLimit;
    const QString limit = item("limit");
    if (!limit.isEmpty()) {
        bool ok = false;
        filter.limit = limit.toInt(&ok);
        if (!ok || filter.limit < 1 || filter.limit > kMaxRecordLimit)
            return ErrorReply(Status::BadRequest,
                              QStringLiteral("limit: 1 to %1").arg(kMaxRecordLimit));
    }
    const QString format = item("format");
    if (format == QLatin1String("csv"))
        csv = true;
    else if (!format.isEmpty() && format != QLatin1String("json"))
        return ErrorReply(Status::BadRequest, QStringLiteral("format: json or csv"));

    if (m_state.databaseDown)
        return ErrorReply(Status::ServiceUnavailable,
                          QStringLiteral("the database is not answering; results wait in the "
                                         "journal"));
    QVector<CFlashRecord> rows;
    QString error;
    if (!m_store.Query(filter, rows, error))
        return ErrorReply(Status::ServiceUnavailable, QStringLiteral("record: ") + error);
    if (csv)
        return {Status::Ok,
                "text/csv; charset=utf-8",
                RecordsCsv(rows),
                {{"Content-Disposition", "attachment; filename=\"records.csv\""}}};
    return JsonReply(QJsonObject{{QStringLiteral("limit"), filter.limit},
                                 {QStringLiteral("records"), RecordsJson(rows)}});
}

CPageReply CStationWeb::Health() const {
    const bool up = !m_state.databaseDown;
    return JsonReply(
        QJsonObject{{QStringLiteral("ok"), up},
                    {QStringLiteral("station"), m_state.station},
                    {QStringLiteral("database"), up ? "up" : "down"},
                    {QStringLiteral("running"), m_state.running},
                    {QStringLiteral("generation"), static_cast<qint64>(m_state.generation)}},
        up ? Status::Ok : Status::ServiceUnavailable);
}
