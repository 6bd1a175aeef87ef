#pragma once

#include <QMetaType>
#include <QString>

// Where one (job, model) pair is in its run.
class RunStatus
{
public:
    enum class Kind {
        waiting,
        preparing,
        uploading,
        running,
        downloading,
        done,
        failed,
        cancelled
    };

    RunStatus() = default;
    static RunStatus waiting() { return RunStatus(Kind::waiting); }
    static RunStatus preparing() { return RunStatus(Kind::preparing); }
    static RunStatus uploading() { return RunStatus(Kind::uploading); }
    static RunStatus running() { return RunStatus(Kind::running); }
    static RunStatus downloading() { return RunStatus(Kind::downloading); }
    static RunStatus done() { return RunStatus(Kind::done); }
    static RunStatus failed(const QString &message) { return RunStatus(Kind::failed, message); }
    static RunStatus cancelled() { return RunStatus(Kind::cancelled); }

    Kind kind() const { return m_kind; }
    // The failure text; empty for every other case.
    QString message() const { return m_message; }

    // Work is under way for the pair.
    bool isActive() const;
    // The pair has ended, well or not.
    bool isTerminal() const;
    // The next run will process the pair.
    bool isPending() const;

    // A short English name of the case, for diagnostics and test output.
    QString debugName() const;

    friend bool operator==(const RunStatus &, const RunStatus &) = default;

private:
    explicit RunStatus(Kind kind, QString message = {})
        : m_kind(kind), m_message(std::move(message))
    {
    }

    Kind m_kind = Kind::waiting;
    QString m_message;
};

Q_DECLARE_METATYPE(RunStatus)
