// SPDX-License-Identifier: Apache-2.0
// The station's page and API over real HTTP on 127.0.0.1, against a filled line state and a
// SQLite record in a temporary folder.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "CsvRows.h"
#include "LineState.h"
#include "PageAuth.h"
#include "PageClient.h"
#include "RecordStore.h"
#include "StationWeb.h"
#include "TempDir.h"
#include "WebOptions.h"

namespace {

const QString kHostile = QStringLiteral("<img src=x onerror=alert(1)>");
const QByteArray kToken = "correct-horse-battery-staple";

QJsonObject JsonOf(const CPageAnswer& answer) {
    return QJsonDocument::fromJson(answer.body).object();
}

CWebOptions Loopback(QByteArray token = {}) {
    CWebOptions options;
    options.address = QHostAddress(QStringLiteral("127.0.0.1"));
    options.port = 0;
    options.token = std::move(token);
    return options;
}

}  // namespace

class StationWebTest : public testing::Test {
  protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_store.Open(QString::fromStdString(m_dir.PathOf("records.sqlite")), error))
            << error.toStdString();
        m_state.station = QStringLiteral("line-1");
        m_state.firmware.file = QStringLiteral("app.hex");
        m_state.firmware.sha256 = QString(64, u'a');
        m_state.firmware.start = 0x9D000000;
        m_state.firmware.length = 0x4000;
        m_state.firmware.crc = 0xBEEF;
        m_state.firmware.since = QDateTime::currentDateTimeUtc();
        AddCard(QStringLiteral("00:1E:C0:00:00:01"), QStringLiteral("press-1"),
                QStringLiteral("programming"), 4096, 16384);
        AddCard(QStringLiteral("00:1E:C0:00:00:02"), QStringLiteral("press-2"),
                QStringLiteral("failed"), 0, 16384)
            .message = QStringLiteral("no response while erasing");
        m_state.running = 1;
        m_state.generation = 7;
    }

    CUnitCard& AddCard(const QString& mac, const QString& name, const QString& stage, qint64 done,
                       qint64 total) {
        CUnitCard& card = m_state.units[mac];
        card.mac = mac;
        card.name = name;
        card.address = QStringLiteral("127.0.0.2");
        card.stage = stage;
        card.done = done;
        card.total = total;
        card.started = QDateTime::currentDateTimeUtc().addSecs(-3);
        card.lastHeard = QDateTime::currentDateTimeUtc();
        return card;
    }

    void WriteRow(const QString& mac, const QString& name, const QString& outcome,
                  qint64 endedSecondsAgo, const QString& message = {}) {
        CFlashRecord row;
        row.id = QStringLiteral("row-%1").arg(++m_rows);
        row.station = m_state.station;
        row.mac = mac;
        row.name = name;
        row.address = QStringLiteral("127.0.0.2");
        row.port = 69;
        row.firmware = m_state.firmware.file;
        row.sha256 = m_state.firmware.sha256;
        row.ended = QDateTime::currentDateTimeUtc().addSecs(-endedSecondsAgo);
        row.started = row.ended.addSecs(-4);
        row.outcome = outcome;
        row.exit = outcome == QLatin1String("verified") ? 0 : 1;
        row.message = message.isEmpty() ? outcome : message;
        QString error;
        ASSERT_TRUE(m_store.Write(row, error)) << error.toStdString();
    }

    quint16 Start(const CWebOptions& options = Loopback()) {
        m_web = std::make_unique<CStationWeb>(m_state, m_store, options);
        QString error;
        EXPECT_TRUE(m_web->Listen(error)) << error.toStdString();
        EXPECT_NE(m_web->Port(), 0);
        return m_web->Port();
    }

    CTempDir m_dir;
    CLineState m_state;
    CRecordStore m_store;
    std::unique_ptr<CStationWeb> m_web;
    CPageClient m_client;
    int m_rows = 0;
};

TEST_F(StationWebTest, UnitsCarryCardsFirmwareCountersAndAVersion) {
    WriteRow(QStringLiteral("00:1E:C0:00:00:09"), QStringLiteral("old"), QStringLiteral("verified"),
             7200);
    WriteRow(QStringLiteral("00:1E:C0:00:00:08"), QStringLiteral("new"), QStringLiteral("verified"),
             60);
    WriteRow(QStringLiteral("00:1E:C0:00:00:02"), QStringLiteral("press-2"),
             QStringLiteral("failed"), 30);
    const quint16 port = Start();

    const CPageAnswer answer = m_client.Get(port, QStringLiteral("/api/units"));
    ASSERT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.Header("Content-Type").startsWith("application/json"));
    const QJsonObject line = JsonOf(answer);
    EXPECT_EQ(line["station"].toString(), "line-1");
    EXPECT_EQ(line["generation"].toInteger(), 7);
    EXPECT_FALSE(line["database_down"].toBool());
    const QJsonObject counts = line["counts"].toObject();
    EXPECT_EQ(counts["verified"].toInt(), 2);
    EXPECT_EQ(counts["failed"].toInt(), 1);
    EXPECT_EQ(counts["in_progress"].toInt(), 1);
    EXPECT_EQ(counts["verified_last_hour"].toInt(), 1);
    const QJsonObject firmware = line["firmware"].toObject();
    EXPECT_EQ(firmware["file"].toString(), "app.hex");
    EXPECT_EQ(firmware["crc"].toInt(), 0xBEEF);
    EXPECT_EQ(firmware["start"].toInteger(), 0x9D000000LL);
    EXPECT_TRUE(firmware["reload_refused"].isNull());

    const QJsonArray units = line["units"].toArray();
    ASSERT_EQ(units.size(), 2);
    const QJsonObject running = units[0].toObject();
    EXPECT_EQ(running["mac"].toString(), "00:1E:C0:00:00:01");
    EXPECT_EQ(running["stage"].toString(), "programming");
    EXPECT_EQ(running["percent"].toInt(), 25);
    EXPECT_GE(running["elapsed_ms"].toInteger(), 3000);
    EXPECT_TRUE(running["ended"].isNull());
    EXPECT_TRUE(running["started"].toString().endsWith(u'Z'));
    EXPECT_EQ(units[1].toObject()["message"].toString(), "no response while erasing");

    // Nothing changed: a short answer. A change in the line: the whole line again.
    const QString version = line["version"].toString();
    const QJsonObject same = JsonOf(m_client.Get(port, "/api/units?version=" + version));
    EXPECT_TRUE(same["unchanged"].toBool());
    EXPECT_FALSE(same.contains("units"));
    m_state.units.first().stage = QStringLiteral("verifying");
    ++m_state.generation;
    const QJsonObject changed = JsonOf(m_client.Get(port, "/api/units?version=" + version));
    EXPECT_FALSE(changed["unchanged"].toBool());
    EXPECT_EQ(changed["units"].toArray()[0].toObject()["percent"].toInt(), 100);
}

TEST_F(StationWebTest, APollerSeesANewRowWithinASecondOfItsChange) {
    const quint16 port = Start();
    QString version =
        JsonOf(m_client.Get(port, QStringLiteral("/api/units")))["version"].toString();
    // Counters are read at most twice a second: the row written right after the last read must
    // still reach a page that polls with the version it holds.
    WriteRow(QStringLiteral("00:1E:C0:00:00:01"), QStringLiteral("press-1"),
             QStringLiteral("verified"), 0);
    ++m_state.generation;
    int verified = 0;
    QElapsedTimer clock;
    clock.start();
    for (int poll = 0; poll < 40 && verified != 1; ++poll) {
        const QJsonObject line = JsonOf(m_client.Get(port, "/api/units?version=" + version));
        if (!line["unchanged"].toBool()) {
            version = line["version"].toString();
            verified = line["counts"].toObject()["verified"].toInt();
        }
        QTest::qWait(100);
    }
    EXPECT_EQ(verified, 1);
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(StationWebTest, HostileTextStaysTextInJsonAndCsv) {
    const QString message = QStringLiteral("\"quoted\" \\ </script>\nline\u2028sep");
    AddCard(QStringLiteral("00:1E:C0:00:00:03"), kHostile, QStringLiteral("failed"), 0, 0).message =
        message;
    WriteRow(QStringLiteral("00:1E:C0:00:00:03"), kHostile, QStringLiteral("failed"), 5, message);
    WriteRow(QStringLiteral("00:1E:C0:00:00:04"), QStringLiteral("=HYPERLINK(\"x\"),a"),
             QStringLiteral("verified"), 1);
    const quint16 port = Start();

    // No markup and no raw line separator anywhere in the bytes; the same text once parsed.
    for (const QString& target : {QStringLiteral("/api/units"), QStringLiteral("/api/records")}) {
        const CPageAnswer answer = m_client.Get(port, target);
        ASSERT_EQ(answer.status, 200);
        EXPECT_FALSE(answer.body.contains('<')) << target.toStdString();
        EXPECT_FALSE(answer.body.contains('>')) << target.toStdString();
        EXPECT_FALSE(answer.body.contains("\xe2\x80\xa8")) << target.toStdString();
    }
    const QJsonArray units =
        JsonOf(m_client.Get(port, QStringLiteral("/api/units")))["units"].toArray();
    EXPECT_EQ(units[2].toObject()["name"].toString(), kHostile);
    EXPECT_EQ(units[2].toObject()["message"].toString(), message);
    const QJsonArray records =
        JsonOf(m_client.Get(port, QStringLiteral("/api/records")))["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].toObject()["name"].toString(), kHostile);

    const CPageAnswer csv = m_client.Get(port, QStringLiteral("/api/records.csv"));
    ASSERT_EQ(csv.status, 200);
    EXPECT_TRUE(csv.Header("Content-Type").startsWith("text/csv"));
    EXPECT_TRUE(csv.Header("Content-Disposition").startsWith("attachment"));
    const QList<QStringList> rows = ParseCsv(csv.body);
    ASSERT_EQ(rows.size(), 3);
    const QStringList header = rows[0];
    ASSERT_EQ(header.size(), 18);
    const qsizetype name = header.indexOf("name");
    const qsizetype msg = header.indexOf("message");
    ASSERT_EQ(rows[1].size(), 18);
    EXPECT_EQ(rows[1][name], "'=HYPERLINK(\"x\"),a");  // never a formula in a spreadsheet
    EXPECT_EQ(rows[2][name], kHostile);
    EXPECT_EQ(rows[2][msg], message);
}

TEST_F(StationWebTest, RecordsFilteredByMacSinceFailedAndLimit) {
    WriteRow(QStringLiteral("00:1E:C0:AA:00:01"), QStringLiteral("a"), QStringLiteral("verified"),
             50);
    WriteRow(QStringLiteral("00-1e-c0-aa-00-02"), QStringLiteral("b"), QStringLiteral("failed"),
             40);
    WriteRow(QStringLiteral("00:1E:C0:BB:00:03"), QStringLiteral("c"), QStringLiteral("verified"),
             2 * 86400);
    const quint16 port = Start();
    auto count = [&](const QString& query) {
        const CPageAnswer answer = m_client.Get(port, "/api/records?" + query);
        EXPECT_EQ(answer.status, 200) << query.toStdString() << answer.body.toStdString();
        return JsonOf(answer)["records"].toArray().size();
    };
    EXPECT_EQ(count(QString()), 3);
    EXPECT_EQ(count(QStringLiteral("mac=001ec0aa")), 2);
    EXPECT_EQ(count(QStringLiteral("mac=00:1E:C0:BB")), 1);
    EXPECT_EQ(count(QStringLiteral("failed=1")), 1);
    const QString yesterday = QDateTime::currentDateTimeUtc().addDays(-1).toString(Qt::ISODate);
    EXPECT_EQ(count("since=" + yesterday), 2);
    EXPECT_EQ(count(QStringLiteral("limit=1")), 1);
    EXPECT_EQ(JsonOf(m_client.Get(port, QStringLiteral("/api/records?limit=1")))["records"]
                  .toArray()[0]
                  .toObject()["name"]
                  .toString(),
              "b");  // newest first
    const CPageAnswer csv =
        m_client.Get(port, QStringLiteral("/api/records?format=csv&mac=001ec0bb"));
    EXPECT_EQ(ParseCsv(csv.body).size(), 2);

    for (const QString& bad : {QStringLiteral("since=yesterday"), QStringLiteral("failed=maybe"),
                               QStringLiteral("limit=0"), QStringLiteral("limit=x"),
                               QStringLiteral("format=xml"), "mac=" + QString(65, u'0')}) {
        const CPageAnswer answer = m_client.Get(port, "/api/records?" + bad);
        EXPECT_EQ(answer.status, 400) << bad.toStdString();
        EXPECT_FALSE(JsonOf(answer)["error"].toString().isEmpty()) << bad.toStdString();
    }
}

TEST_F(StationWebTest, EveryAnswerCarriesThePolicyHeaders) {
    const quint16 port = Start();
    const QList<QPair<QByteArray, QString>> requests = {
        {"GET", "/"},          {"GET", "/page.js"},     {"GET", "/page.css"},
        {"GET", "/api/units"}, {"GET", "/healthz"},     {"GET", "/api/firmware"},
        {"GET", "/nowhere"},   {"GET", "/api/nowhere"}, {"PUT", "/api/units"}};
    for (const auto& [method, target] : requests) {
        const CPageAnswer answer = m_client.Send(port, method, target);
        const QByteArray policy = answer.Header("Content-Security-Policy");
        EXPECT_NE(answer.status, 0) << target.toStdString();
        EXPECT_TRUE(policy.contains("script-src 'self'")) << target.toStdString();
        EXPECT_TRUE(policy.contains("style-src 'self'")) << target.toStdString();
        EXPECT_FALSE(policy.contains("unsafe")) << target.toStdString();
        EXPECT_EQ(answer.Header("X-Content-Type-Options"), "nosniff") << target.toStdString();
    }
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/nowhere")).status, 404);

    // The policy forbids inline script and style, so the page must not need them; and data
    // reaches the page's DOM only as text.
    const QByteArray html = m_client.Get(port, QStringLiteral("/")).body;
    EXPECT_TRUE(html.contains("<script src=\"/page.js\""));
    EXPECT_FALSE(html.contains("<script>"));
    EXPECT_FALSE(html.contains("style="));
    EXPECT_FALSE(html.contains("http://"));
    EXPECT_FALSE(html.contains("https://"));
    const QByteArray script = m_client.Get(port, QStringLiteral("/page.js")).body;
    EXPECT_TRUE(script.contains("textContent"));
    for (const char* sink : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write",
                             "eval(", "http://", "https://"})
        EXPECT_FALSE(script.contains(sink)) << sink;
}

TEST_F(StationWebTest, OnlyReadsAreServed) {
    WriteRow(QStringLiteral("00:1E:C0:00:00:01"), QStringLiteral("a"), QStringLiteral("verified"),
             1);
    const quint16 port = Start();
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        for (const QString& target :
             {QStringLiteral("/"), QStringLiteral("/api/units"), QStringLiteral("/api/records")}) {
            const CPageAnswer answer = m_client.Send(port, method, target, {}, "x=1");
            EXPECT_EQ(answer.status, 405) << method << " " << target.toStdString();
            EXPECT_EQ(answer.Header("Allow"), "GET, HEAD");
        }
    }
    const CPageAnswer head = m_client.Send(port, "HEAD", QStringLiteral("/api/records"));
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_GT(head.Header("Content-Length").toInt(), 0);
    // The connection is still usable after a HEAD.
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/healthz")).status, 200);
}

TEST_F(StationWebTest, WithoutATokenOnlyRequestsByAddressAreAnswered) {
    const quint16 port = Start();
    auto host = [&](const QByteArray& name) {
        return m_client.Get(port, QStringLiteral("/api/units"), {{"Host", name}}).status;
    };
    const QByteArray p = ":" + QByteArray::number(port);
    EXPECT_EQ(host("127.0.0.1" + p), 200);
    EXPECT_EQ(host("localhost" + p), 200);
    EXPECT_EQ(host("[::1]" + p), 200);
    // A name rebound to 127.0.0.1 by someone else's page.
    EXPECT_EQ(host("attacker.example" + p), 403);
    EXPECT_EQ(host("127.0.0.1.attacker.example" + p), 403);
}

TEST_F(StationWebTest, WithATokenEveryRequestCarriesItOrGets401) {
    const quint16 port = Start(Loopback(kToken));
    for (const QString& target :
         {QStringLiteral("/"), QStringLiteral("/page.js"), QStringLiteral("/api/units"),
          QStringLiteral("/api/records.csv"), QStringLiteral("/healthz")}) {
        const CPageAnswer answer = m_client.Get(port, target);
        EXPECT_EQ(answer.status, 401) << target.toStdString();
        EXPECT_FALSE(answer.body.contains("press-1"));
    }
    // The page itself answers with the sign-in form.
    EXPECT_TRUE(m_client.Get(port, QStringLiteral("/")).body.contains("action=\"/login\""));
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/login")).status, 200);

    auto bearer = [&](const QByteArray& token) {
        return m_client.Get(port, QStringLiteral("/api/units"), {{"Authorization", token}}).status;
    };
    EXPECT_EQ(bearer("Bearer " + kToken), 200);
    EXPECT_EQ(bearer("bearer " + kToken), 200);
    EXPECT_EQ(bearer("Bearer " + kToken.chopped(1)), 401);
    EXPECT_EQ(bearer("Bearer " + kToken + "x"), 401);
    EXPECT_EQ(bearer("Basic " + kToken), 401);
    EXPECT_EQ(bearer("Bearer "), 401);

    // The sign-in form: a wrong token is refused, the right one sets a cookie that is not it.
    const QList<QPair<QByteArray, QByteArray>> form = {
        {"Content-Type", "application/x-www-form-urlencoded"}};
    EXPECT_EQ(m_client.Send(port, "POST", QStringLiteral("/login"), form, "token=nope").status,
              401);
    const CPageAnswer signedIn =
        m_client.Send(port, "POST", QStringLiteral("/login"), form, "token=" + kToken);
    ASSERT_EQ(signedIn.status, 303);
    EXPECT_EQ(signedIn.Header("Location"), "/");
    const QByteArray cookie = signedIn.Header("Set-Cookie");
    EXPECT_TRUE(cookie.contains("HttpOnly"));
    EXPECT_TRUE(cookie.contains("SameSite=Strict"));
    EXPECT_FALSE(cookie.contains(kToken));
    const QByteArray pair = cookie.left(cookie.indexOf(';'));
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/api/units"), {{"Cookie", "a=b; " + pair}}).status,
              200);
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/api/units"), {{"Cookie", pair + "0"}}).status,
              401);
}

TEST_F(StationWebTest, BeyondLoopbackNeedsAToken) {
    CWebOptions open = Loopback();
    open.address = QHostAddress(QHostAddress::AnyIPv4);
    CStationWeb refused(m_state, m_store, open);
    QString error;
    EXPECT_FALSE(refused.Listen(error));
    EXPECT_TRUE(error.contains("--http-token-file")) << error.toStdString();
    EXPECT_EQ(refused.Port(), 0);

    // 0.0.0.0 with a token; inside the test's namespace only loopback reaches it.
    open.token = kToken;
    const quint16 port = Start(open);
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/api/units")).status, 401);
    EXPECT_EQ(
        m_client.Get(port, QStringLiteral("/api/units"), {{"Authorization", "Bearer " + kToken}})
            .status,
        200);
}

TEST_F(StationWebTest, ADatabaseDownIsShownNotWaitedFor) {
    m_state.databaseDown = true;
    const quint16 port = Start();
    const CPageAnswer health = m_client.Get(port, QStringLiteral("/healthz"));
    EXPECT_EQ(health.status, 503);
    EXPECT_EQ(JsonOf(health)["database"].toString(), "down");
    EXPECT_EQ(m_client.Get(port, QStringLiteral("/api/records")).status, 503);
    const QJsonObject line = JsonOf(m_client.Get(port, QStringLiteral("/api/units")));
    EXPECT_TRUE(line["database_down"].toBool());
    EXPECT_TRUE(line["counts"].toObject()["verified"].isNull());
    EXPECT_EQ(line["counts"].toObject()["in_progress"].toInt(), 1);
    EXPECT_EQ(line["units"].toArray().size(), 2);
}

TEST(WebOptionsTest, ListenAddressesAndWhatIsLoopback) {
    CWebOptions options;
    QString error;
    ASSERT_TRUE(ParseHttpListen(QStringLiteral("off"), options, error));
    EXPECT_FALSE(options.enabled);
    EXPECT_FALSE(HttpTokenRequired(options));
    ASSERT_TRUE(ParseHttpListen(QStringLiteral("127.0.0.2:8080"), options, error));
    EXPECT_TRUE(options.enabled);
    EXPECT_EQ(options.port, 8080);
    EXPECT_FALSE(HttpTokenRequired(options));
    ASSERT_TRUE(ParseHttpListen(QStringLiteral("[::1]:9000"), options, error));
    EXPECT_EQ(options.address, QHostAddress(QHostAddress::LocalHostIPv6));
    ASSERT_TRUE(ParseHttpListen(QStringLiteral("localhost:0"), options, error));
    EXPECT_EQ(options.address, QHostAddress(QHostAddress::LocalHost));
    ASSERT_TRUE(ParseHttpListen(QStringLiteral("0.0.0.0:80"), options, error));
    EXPECT_TRUE(HttpTokenRequired(options));
    EXPECT_FALSE(CheckWebOptions(options, error));
    options.token = kToken;
    EXPECT_TRUE(CheckWebOptions(options, error));

    for (const char* bad : {"8080", "127.0.0.1:", "127.0.0.1:70000", "127.0.0.1:-1",
                            "127.0.0.1:+80", "::1:80", "unit.example:80", ":80", "on"}) {
        CWebOptions untouched;
        error.clear();
        EXPECT_FALSE(ParseHttpListen(QString::fromLatin1(bad), untouched, error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }

    for (const char* yes : {"127.0.0.1", "127.255.0.9", "::1", "::ffff:127.0.0.2"})
        EXPECT_TRUE(IsLoopbackAddress(QHostAddress(QString::fromLatin1(yes)))) << yes;
    for (const char* no :
         {"0.0.0.0", "::", "192.168.1.200", "10.0.0.1", "::ffff:10.0.0.1", "128.0.0.1"})
        EXPECT_FALSE(IsLoopbackAddress(QHostAddress(QString::fromLatin1(no)))) << no;
}

TEST(WebOptionsTest, TokenFile) {
    CTempDir dir;
    QByteArray token;
    QString error;
    EXPECT_FALSE(ReadHttpTokenFile(QString::fromStdString(dir.PathOf("missing")), token, error));
    EXPECT_FALSE(
        ReadHttpTokenFile(QString::fromStdString(dir.Write("short", "abc\n")), token, error));
    EXPECT_FALSE(ReadHttpTokenFile(
        QString::fromStdString(dir.Write("space", "has a space inside it\n")), token, error));
    EXPECT_FALSE(ReadHttpTokenFile(QString::fromStdString(dir.Write("empty", "")), token, error));
    EXPECT_FALSE(ReadHttpTokenFile(
        QString::fromStdString(dir.Write("long", std::string(5000, 'k') + "\n")), token, error));
    EXPECT_TRUE(token.isEmpty());
    ASSERT_TRUE(ReadHttpTokenFile(
        QString::fromStdString(dir.Write("good", "  abcdefghijklmnopqrstuvwxyz\r\nsecond line\n")),
        token, error))
        << error.toStdString();
    EXPECT_EQ(token, "abcdefghijklmnopqrstuvwxyz");
}

TEST(PageAuthTest, ConstantTimeEqualComparesWholeValues) {
    EXPECT_TRUE(ConstantTimeEqual(kToken, kToken));
    EXPECT_TRUE(ConstantTimeEqual("", ""));
    EXPECT_FALSE(ConstantTimeEqual(kToken, kToken.chopped(1)));
    EXPECT_FALSE(ConstantTimeEqual(kToken, kToken + "x"));
    QByteArray last = kToken;
    last[last.size() - 1] = 'f';
    EXPECT_FALSE(ConstantTimeEqual(kToken, last));
    EXPECT_FALSE(ConstantTimeEqual("", "a"));
    EXPECT_NE(SessionCookieValue(kToken), SessionCookieValue(kToken + "x"));
    EXPECT_FALSE(SessionCookieValue(kToken).contains(kToken));
}
