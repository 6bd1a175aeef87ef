#pragma once

#include <QCollator>
#include <QList>
#include <QString>

// The file browser's name order: case-insensitive, and digit runs compared by their value, so
// "img2" sorts before "img10". Qt's collator ignores its numeric mode under the C locale (and
// the POSIX backend), so digit runs are split off here and only the text between them is left
// to the collator.
class NaturalOrder
{
public:
    NaturalOrder();

    struct Run {
        QString text;
        bool digits = false;
    };
    // A name split into digit and text runs, worth keeping when one name is compared often.
    using Key = QList<Run>;
    static Key key(const QString &name);

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(const Key &a, const Key &b) const;
    int compare(const QString &a, const QString &b) const { return compare(key(a), key(b)); }

private:
    int compareRuns(const Run &a, const Run &b) const;

    QCollator m_collator;
};
