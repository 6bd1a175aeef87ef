#include "Services/NaturalOrder.h"

#include <algorithm>

NaturalOrder::NaturalOrder()
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
}

NaturalOrder::Key NaturalOrder::key(const QString &name)
{
    Key runs;
    for (const QChar c : name) {
        const bool digit = c.isDigit();
        if (runs.isEmpty() || runs.last().digits != digit)
            runs.append({QString(), digit});
        runs.last().text.append(c);
    }
    return runs;
}

int NaturalOrder::compareRuns(const Run &a, const Run &b) const
{
    if (a.digits != b.digits) {
        // Digits before letters, as in the file browser.
        return a.digits ? -1 : 1;
    }
    if (!a.digits)
        return m_collator.compare(a.text, b.text);
    // By value: leading zeros dropped, a longer run is larger, then digit by digit.
    const auto significant = [](const QString &run) {
        qsizetype i = 0;
        while (i + 1 < run.size() && run.at(i).digitValue() == 0)
            ++i;
        return QStringView(run).mid(i);
    };
    const QStringView x = significant(a.text);
    const QStringView y = significant(b.text);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    for (qsizetype i = 0; i < x.size(); ++i) {
        const int dx = x.at(i).digitValue();
        const int dy = y.at(i).digitValue();
        if (dx != dy)
            return dx < dy ? -1 : 1;
    }
    return 0;
}

int NaturalOrder::compare(const Key &x, const Key &y) const
{
    const qsizetype common = std::min(x.size(), y.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (const int order = compareRuns(x.at(i), y.at(i)); order != 0)
            return order;
    }
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return 0;
}
