// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

#include "RecordStore.h"
#include "WebOptions.h"

struct CLineState;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
struct CPageReply;

// The station's live page and its read-only JSON API, on Qt HttpServer, on the station's own
// thread: it reads the line state and the record between two events of the station's loop, so
// it needs no lock. The state and the store must outlive this object.
//
//   /                 the page (a card per unit, the firmware in force, counters, records)
//   /api/units        the line: cards, firmware, counters, and a "version"; ?version=V answers
//                     {"version":V,"unchanged":true} while nothing shown has changed
//   /api/records      ?mac=&since=&failed=&limit=&format=csv|json (newest first, 200 by default)
//   /api/records.csv  the same as a download
//   /api/firmware     the firmware in force and the last refused reload
//   /healthz          200 while the database answers, 503 while results go to the journal
//   /login            with a token: the sign-in form (GET) and its POST, which sets a cookie
//
// Only GET and HEAD (and the sign-in POST) are served; anything else gets 405.
class CStationWeb : public QObject {
  public:
    CStationWeb(const CLineState& state, CRecordStore& store, const CWebOptions& options,
                QObject* parent = nullptr);
    ~CStationWeb() override;
    CStationWeb(const CStationWeb&) = delete;
    CStationWeb& operator=(const CStationWeb&) = delete;

    // Starts listening; false with a message when the address can't be bound or the options
    // ask for a token that is missing (CheckWebOptions).
    bool Listen(QString& error);
    // The port listened on (the one chosen when options.port was 0); 0 before Listen.
    quint16 Port() const;

  private:
    void Serve(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    CPageReply Route(const QHttpServerRequest& request);
    CPageReply Login(const QHttpServerRequest& request);
    CPageReply Units(const QHttpServerRequest& request);
    CPageReply Records(const QHttpServerRequest& request, bool csv);
    CPageReply Health() const;
    void RefreshCounts();
    QString Version() const;

    const CLineState& m_state;
    CRecordStore& m_store;
    CWebOptions m_options;
    QByteArray m_sessionCookie;  // derived from the token: the browser never keeps the token
    std::unique_ptr<QHttpServer> m_server;
    quint16 m_port = 0;

    // The record's counters, asked again when the line changed (at most twice a second) or
    // every 30 s (the last hour moves on); kept as they were while the database is down.
    CRecordCounts m_counts;
    bool m_countsKnown = false;
    quint64 m_countsGeneration = 0;
    quint64 m_countsSerial = 0;  // bumped whenever the counters read differ from the last
    QElapsedTimer m_countsAge;
};
