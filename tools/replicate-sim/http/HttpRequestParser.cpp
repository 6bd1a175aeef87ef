#include "HttpRequestParser.h"

#include <QUrl>

namespace
{

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

bool parseDecimal(const QByteArray &text, qint64 &value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

} // namespace

HttpRequestParser::HttpRequestParser(qint64 maxBodyBytes, qsizetype maxHeaderBytes)
    : m_maxBody(maxBodyBytes), m_maxHeader(maxHeaderBytes)
{
}

HttpRequestParser::State HttpRequestParser::fail(int status, const QByteArray &text)
{
    m_phase = Phase::failed;
    m_errorStatus = status;
    m_errorText = text;
    return State::error;
}

void HttpRequestParser::compact()
{
    // Drop consumed bytes now and then so a long keep-alive connection does not grow forever.
    if (m_offset > 64 * 1024 && m_offset * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
}

bool HttpRequestParser::takeBodyBytes()
{
    const qint64 take = qMin<qint64>(m_remaining, m_buffer.size() - m_offset);
    m_request.body.append(m_buffer.constData() + m_offset, take);
    m_offset += take;
    m_remaining -= take;
    compact();
    return m_remaining == 0;
}

HttpRequestParser::State HttpRequestParser::parse()
{
    for (;;) {
        switch (m_phase) {
        case Phase::failed:
            return State::error;
        case Phase::done:
            return State::ready;
        case Phase::head: {
            State state = parseHead();
            if (state != State::ready)
                return state;
            break;
        }
        case Phase::fixedBody: {
            if (!takeBodyBytes())
                return State::needMore;
            m_phase = Phase::done;
            break;
        }
        case Phase::chunkSize: {
            State state = parseChunkSize();
            if (state != State::ready)
                return state;
            break;
        }
        case Phase::chunkData: {
            if (!takeBodyBytes())
                return State::needMore;
            m_phase = Phase::chunkDataEnd;
            break;
        }
        case Phase::chunkDataEnd: {
            if (m_buffer.size() - m_offset < 2)
                return State::needMore;
            if (m_buffer.at(m_offset) != '\r' || m_buffer.at(m_offset + 1) != '\n')
                return fail(400, "chunk data not followed by CRLF");
            m_offset += 2;
            m_phase = Phase::chunkSize;
            break;
        }
        case Phase::trailers: {
            State state = parseTrailers();
            if (state != State::ready)
                return state;
            break;
        }
        }
    }
}

HttpRequestParser::State HttpRequestParser::parseHead()
{
    // Blank lines before a request line are tolerated, as RFC 9112 asks.
    while (m_buffer.size() - m_offset >= 2 && m_buffer.at(m_offset) == '\r' &&
           m_buffer.at(m_offset + 1) == '\n')
        m_offset += 2;
    const qsizetype end = m_buffer.indexOf("\r\n\r\n", m_offset);
    if (end < 0) {
        if (m_buffer.size() - m_offset > m_maxHeader)
            return fail(431, "request head too large");
        return State::needMore;
    }
    if (end - m_offset > m_maxHeader)
        return fail(431, "request head too large");
    const QByteArray head = m_buffer.mid(m_offset, end - m_offset);
    m_offset = end + 4;
    return parseHeadLines(head);
}

HttpRequestParser::State HttpRequestParser::parseHeadLines(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    QByteArray requestLine = lines.first();
    if (!requestLine.endsWith('\r') && lines.size() > 1)
        return fail(400, "bare LF in request head");
    if (requestLine.endsWith('\r'))
        requestLine.chop(1);
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || parts.at(1).isEmpty())
        return fail(400, "malformed request line");
    if (!isToken(parts.at(0)))
        return fail(400, "malformed method");
    const QByteArray &version = parts.at(2);
    if (!version.startsWith("HTTP/"))
        return fail(400, "malformed version");
    if (version == "HTTP/1.1")
        m_request.minorVersion = 1;
    else if (version == "HTTP/1.0")
        m_request.minorVersion = 0;
    else
        return fail(505, "unsupported HTTP version");
    m_request.method = parts.at(0);
    m_request.target = parts.at(1);
    if (!m_request.target.startsWith('/'))
        return fail(400, "request target must be a path");
    const qsizetype question = m_request.target.indexOf('?');
    const QByteArray rawPath = question < 0 ? m_request.target : m_request.target.left(question);
    m_request.path = QUrl::fromPercentEncoding(rawPath);
    if (question >= 0)
        m_request.query = QUrlQuery(QString::fromUtf8(m_request.target.mid(question + 1)));

    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (!line.endsWith('\r') && i + 1 < lines.size())
            return fail(400, "bare LF in request head");
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(' ') || line.startsWith('\t'))
            return fail(400, "obsolete header folding");
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(QByteArrayView(line).first(colon)))
            return fail(400, "malformed header line");
        m_request.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }

    const QByteArray connection = m_request.header("connection").toLower();
    m_request.keepAlive = m_request.minorVersion == 1 ? !connection.contains("close")
                                                      : connection.contains("keep-alive");
    if (m_request.minorVersion == 1 && !m_request.hasHeader("host"))
        return fail(400, "missing Host header");

    QByteArray lengthText;
    bool haveLength = false;
    for (const auto &pair : std::as_const(m_request.headers)) {
        if (pair.first != "content-length")
            continue;
        if (haveLength && pair.second != lengthText)
            return fail(400, "conflicting Content-Length headers");
        lengthText = pair.second;
        haveLength = true;
    }
    const QByteArray encoding = m_request.header("transfer-encoding").toLower();
    if (!encoding.isEmpty()) {
        if (haveLength)
            return fail(400, "both Content-Length and Transfer-Encoding");
        if (encoding != "chunked")
            return fail(501, "unsupported transfer encoding");
        m_phase = Phase::chunkSize;
    } else if (haveLength) {
        qint64 length = 0;
        if (!parseDecimal(lengthText, length))
            return fail(400, "malformed Content-Length");
        if (length > m_maxBody)
            return fail(413, "body too large");
        m_remaining = length;
        m_request.body.reserve(length);
        m_phase = length > 0 ? Phase::fixedBody : Phase::done;
    } else {
        m_phase = Phase::done;
    }
    m_wantsContinue =
        m_phase != Phase::done && m_request.header("expect").toLower() == "100-continue";
    return State::ready;
}

HttpRequestParser::State HttpRequestParser::parseChunkSize()
{
    const qsizetype end = m_buffer.indexOf("\r\n", m_offset);
    if (end < 0) {
        if (m_buffer.size() - m_offset > 1024)
            return fail(400, "chunk size line too long");
        return State::needMore;
    }
    QByteArray line = m_buffer.mid(m_offset, end - m_offset);
    m_offset = end + 2;
    const qsizetype semicolon = line.indexOf(';');
    if (semicolon >= 0)
        line.truncate(semicolon);
    line = line.trimmed();
    if (line.isEmpty() || line.size() > 15)
        return fail(400, "malformed chunk size");
    bool ok = false;
    const qint64 size = line.toLongLong(&ok, 16);
    if (!ok || size < 0 || line.startsWith('+') || line.startsWith('-'))
        return fail(400, "malformed chunk size");
    if (m_request.body.size() + size > m_maxBody)
        return fail(413, "body too large");
    if (size == 0) {
        m_phase = Phase::trailers;
    } else {
        m_remaining = size;
        m_phase = Phase::chunkData;
    }
    return State::ready;
}

HttpRequestParser::State HttpRequestParser::parseTrailers()
{
    // Trailer fields are read and dropped; nothing here depends on them.
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n", m_offset);
        if (end < 0) {
            if (m_buffer.size() - m_offset > m_maxHeader)
                return fail(431, "trailers too large");
            return State::needMore;
        }
        const bool blank = end == m_offset;
        m_offset = end + 2;
        if (blank) {
            m_phase = Phase::done;
            return State::ready;
        }
    }
}

HttpRequest HttpRequestParser::takeRequest()
{
    HttpRequest request = std::move(m_request);
    m_request = HttpRequest{};
    m_phase = Phase::head;
    m_remaining = 0;
    m_wantsContinue = false;
    m_buffer.remove(0, m_offset);
    m_offset = 0;
    return request;
}
