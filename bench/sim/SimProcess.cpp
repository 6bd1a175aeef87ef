#include "SimProcess.h"

#include <QFile>

#include <unistd.h>

SimProcess::SimProcess(const QString &binary, const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(binary, arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return;
    }
    QByteArray line;
    while (!line.contains('\n')) {
        if (!m_process.waitForReadyRead(10000)) {
            m_error = QStringLiteral("no address printed");
            return;
        }
        line += m_process.readAllStandardOutput();
    }
    const QByteArray prefix = "listening on ";
    const QByteArray first = line.left(line.indexOf('\n')).trimmed();
    if (!first.startsWith(prefix)) {
        m_error = QStringLiteral("unexpected first line: ") + QString::fromUtf8(first);
        return;
    }
    m_base = QUrl(QString::fromUtf8(first.mid(prefix.size())));
}

SimProcess::~SimProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QUrl SimProcess::url(const QString &pathAndQuery) const
{
    return m_base.resolved(QUrl(pathAndQuery));
}

double SimProcess::cpuMs() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // Fields after the parenthesised command name; utime and stime are the 12th and 13th.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}
