#pragma once

#include "HttpRequest.h"

#include <QByteArray>

// Incremental HTTP/1.x request parser: bytes go in as they arrive, whole requests come out.
// Bodies may be sized by Content-Length or sent chunked. Anything malformed ends in an error
// carrying the status the connection should answer with before closing.
class HttpRequestParser
{
public:
    enum class State { needMore, ready, error };

    explicit HttpRequestParser(qint64 maxBodyBytes = qint64(512) * 1024 * 1024,
                               qsizetype maxHeaderBytes = 64 * 1024);

    void append(const QByteArray &data) { m_buffer.append(data); }
    // Advances as far as the buffered bytes allow.
    State parse();
    // Valid once parse() said ready; resets the parser for the next request on the connection.
    HttpRequest takeRequest();

    // True between the end of the headers of a request that asked for "Expect: 100-continue"
    // and the first call to continueSent().
    bool wantsContinue() const { return m_wantsContinue; }
    void continueSent() { m_wantsContinue = false; }

    int errorStatus() const { return m_errorStatus; }
    QByteArray errorText() const { return m_errorText; }
    qsizetype bufferedBytes() const { return m_buffer.size() - m_offset; }

private:
    enum class Phase {
        head,
        fixedBody,
        chunkSize,
        chunkData,
        chunkDataEnd,
        trailers,
        done,
        failed
    };

    State fail(int status, const QByteArray &text);
    State parseHead();
    State parseHeadLines(const QByteArray &head);
    State parseChunkSize();
    State parseTrailers();
    void compact();
    // Moves buffered bytes of the current body or chunk into the request; true once all arrived.
    bool takeBodyBytes();

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    Phase m_phase = Phase::head;
    HttpRequest m_request;
    qint64 m_remaining = 0;
    qint64 m_maxBody;
    qsizetype m_maxHeader;
    bool m_wantsContinue = false;
    int m_errorStatus = 0;
    QByteArray m_errorText;
};
