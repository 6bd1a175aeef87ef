// Times Pricing::parse on large model pages: the billing object placed after ~2 MB of markup,
// so every marker search and pattern scan crosses the whole page.
#include "Services/Pricing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace
{

constexpr qsizetype targetBytes = 2 * 1024 * 1024;

// Markup and embedded data that look like the pricing fields without being them.
QString filler()
{
    QString text;
    int i = 0;
    while (text.size() < targetBytes) {
        text +=
            QStringLiteral("<div class=\"flex items-center gap-2\"><a href=\"/acme/model-%1\">"
                           "model %1</a><td>%1</td> <span>\"price\": \"free\"</span></div>\n"
                           "<script>{\"metric\": \"run_count\", \"title\": \"runs %1\", "
                           "\"p50price\": \"n/a\", \"escaped\": \"\\u003Cb\\u003E\"}</script>\n")
                .arg(i++);
    }
    return text;
}

QString page(const QString &pricing)
{
    return QStringLiteral("<!DOCTYPE html><html><body>") + filler() +
           QStringLiteral("<script type=\"application/json\">{\"model\": {}, ") + pricing +
           QStringLiteral("}</script></body></html>");
}

QString tierRows()
{
    QString rows;
    for (int i = 1; i <= 8; ++i)
        rows += QStringLiteral("\\u003Ctr\\u003E\\u003Ctd\\u003E%1\\u003C/td\\u003E "
                               "\\u003Ctd\\u003E%2\\u003C/td\\u003E "
                               "\\u003Ctd\\u003E$0.%2\\u003C/td\\u003E\\u003C/tr\\u003E")
                    .arg(i * 4)
                    .arg(i);
    return rows;
}

double medianMs(const QString &text, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<ModelPrice> price = Pricing::parse(text);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!price)
            qFatal("benchmark page gave no price");
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<std::pair<const char *, QString>> pages{
        {"per-unit billing",
         page(QStringLiteral("\"billingConfig\": {\"current_tiers\": [{\"prices\": [{\"metric\": "
                             "\"image_output_count\", \"metric_display\": \"image\", \"price\": "
                             "\"$0.04\", \"title\": \"per output image\"}]}]}"))},
        {"tiered billing",
         page(QStringLiteral("\"billingConfig\": {\"description\": \"by output megapixels\", "
                             "\"table\": \"") +
              tierRows() + QStringLiteral("\"}"))},
        {"per-second fallback",
         page(QStringLiteral("\"hardware\": {\"price\": \"$0.000225 per second\"}, "
                             "\"has_special_pricing\": false, \"p50price\": \"$0.0023\""))},
    };
    QTextStream out(stdout);
    for (const auto &[name, text] : pages) {
        const double ms = medianMs(text, 31);
        const double kilobytes = static_cast<double>(text.toUtf8().size()) / 1024;
        out << name << ": " << QString::number(kilobytes / 1024, 'f', 2) << " MB page, "
            << QString::number(ms, 'f', 2) << " ms median, "
            << QString::number(ms / (kilobytes / 100), 'f', 3) << " ms per 100 kB\n";
    }
    return 0;
}
