#include "Services/Pricing.h"

#include <QLocale>

#include <algorithm>
#include <array>

namespace
{

struct Metric {
    const char *name;
    PriceUnit unit;
    double factor;
};

// A price per pixel becomes a price per megapixel.
const std::array<Metric, 3> recognisedMetrics{{
    {"image_output_count", PriceUnit::image, 1},
    {"image_output_pixel_count", PriceUnit::outputMegapixel, 1000000},
    {"video_output_duration_seconds", PriceUnit::videoSecond, 1},
}};

const Metric *recognisedMetric(const QString &name)
{
    for (const Metric &metric : recognisedMetrics) {
        if (name == QLatin1String(metric.name))
            return &metric;
    }
    return nullptr;
}

// Titles such as "per thousand output images" list the price of that many units.
double perUnitDivisor(const QString &title)
{
    if (title.contains(QLatin1String("thousand")))
        return 1000;
    if (title.contains(QLatin1String("million")))
        return 1000000;
    if (title.contains(QLatin1String("billion")))
        return 1000000000;
    return 1;
}

QRegularExpression compiled(const char16_t *pattern)
{
    QRegularExpression expression(QString::fromUtf16(pattern));
    expression.optimize();
    Q_ASSERT(expression.isValid());
    return expression;
}

} // namespace

namespace Pricing
{

namespace Patterns
{

const QRegularExpression &specialPricing()
{
    static const QRegularExpression pattern = compiled(u"\"has_special_pricing\": (true|false)");
    return pattern;
}

const QRegularExpression &pricePerSecond()
{
    static const QRegularExpression pattern = compiled(uR"re("price": "\$([0-9.]+) per second")re");
    return pattern;
}

const QRegularExpression &typicalRun()
{
    static const QRegularExpression pattern = compiled(uR"re("p50price": "\$([0-9.]+)")re");
    return pattern;
}

const QRegularExpression &tierRow()
{
    static const QRegularExpression pattern =
        compiled(uR"re(<td>([0-9.]+)</td>[^<]*<td>[0-9]+</td>[^<]*<td>\$([0-9.]+)</td>)re");
    return pattern;
}

const QRegularExpression &metricPrice()
{
    static const QRegularExpression pattern = compiled(
        uR"re("metric": "([a-z_]+)", "metric_display": "[^"]*", "price": "\$([0-9.]+)", "title": "([^"]*)")re");
    return pattern;
}

} // namespace Patterns

QList<QStringList> matches(const QRegularExpression &pattern, const QString &text)
{
    QList<QStringList> found;
    const int groups = pattern.captureCount();
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        QStringList captured;
        captured.reserve(groups);
        for (int group = 1; group <= groups; ++group)
            captured.append(match.captured(group));
        found.append(captured);
    }
    return found;
}

std::optional<QString> matchString(const QRegularExpression &pattern, const QString &text)
{
    const QRegularExpressionMatch found = pattern.match(text);
    if (!found.hasMatch() || pattern.captureCount() < 1)
        return std::nullopt;
    return found.captured(1);
}

std::optional<double> match(const QRegularExpression &pattern, const QString &text)
{
    const std::optional<QString> group = matchString(pattern, text);
    return group ? decimal(*group) : std::nullopt;
}

std::optional<double> decimal(QStringView text)
{
    int digits = 0;
    int points = 0;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            ++digits;
        else if (c == QLatin1Char('.'))
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<QString> jsonObject(const QString &marker, const QString &text)
{
    const qsizetype start = text.indexOf(marker);
    if (start < 0)
        return std::nullopt;
    qsizetype brace = start + marker.size();
    while (brace < text.size() && text.at(brace) == QLatin1Char(' '))
        ++brace;
    if (brace >= text.size() || text.at(brace) != QLatin1Char('{'))
        return std::nullopt;

    int depth = 0;
    bool inString = false;
    bool escaped = false;
    const QChar *const data = text.constData();
    for (qsizetype i = brace; i < text.size(); ++i) {
        const char16_t c = data[i].unicode();
        if (escaped) {
            escaped = false;
            continue;
        }
        if (c == u'\\') {
            escaped = true;
        } else if (c == u'"') {
            inString = !inString;
        } else if (!inString && c == u'{') {
            ++depth;
        } else if (!inString && c == u'}') {
            if (--depth == 0)
                return text.mid(brace, i - brace + 1);
        }
    }
    return std::nullopt;
}

std::optional<ModelPrice> perUnitPrice(const QString &billing)
{
    std::optional<PriceUnit> unit;
    QList<double> values;
    for (const QStringList &found : matches(Patterns::metricPrice(), billing)) {
        const Metric *metric = recognisedMetric(found.at(0));
        const std::optional<double> dollars = decimal(found.at(1));
        if (!metric || !dollars)
            continue;
        if (!unit)
            unit = metric->unit;
        else if (*unit != metric->unit)
            continue;
        values.append(*dollars * metric->factor / perUnitDivisor(found.at(2)));
    }
    if (!unit)
        return std::nullopt;
    ModelPrice price;
    price.unit = *unit;
    price.low = *std::min_element(values.cbegin(), values.cend());
    price.high = *std::max_element(values.cbegin(), values.cend());
    return price;
}

QList<PriceStep> megapixelSteps(const QString &billing)
{
    if (!billing.contains(QLatin1String("megapixel")))
        return {};
    // The billing object carries the tier table's markup escaped.
    QString markup = billing;
    markup.replace(QLatin1String("\\u003C"), QLatin1String("<"));
    markup.replace(QLatin1String("\\u003E"), QLatin1String(">"));

    QList<PriceStep> steps;
    for (const QStringList &found : matches(Patterns::tierRow(), markup)) {
        const std::optional<double> megapixels = decimal(found.at(0));
        const std::optional<double> dollars = decimal(found.at(1));
        if (megapixels && dollars)
            steps.append({*megapixels, *dollars});
    }
    std::stable_sort(steps.begin(), steps.end(), [](const PriceStep &a, const PriceStep &b) {
        return a.megapixels < b.megapixels;
    });
    return steps;
}

std::optional<ModelPrice> parse(const QString &page)
{
    if (const std::optional<QString> billing =
            jsonObject(QString::fromUtf16(Patterns::billingMarker), page)) {
        if (std::optional<ModelPrice> price = perUnitPrice(*billing))
            return price;
        const QList<PriceStep> steps = megapixelSteps(*billing);
        if (!steps.isEmpty()) {
            ModelPrice price;
            price.unit = PriceUnit::megapixelStep;
            price.low = steps.constFirst().cost;
            price.high = steps.constLast().cost;
            price.steps = steps;
            return price;
        }
    }

    // Without usable billing, a page may still list the hardware's per-second price; a model
    // with special pricing is not billed by it.
    if (matchString(Patterns::specialPricing(), page) != QStringLiteral("false"))
        return std::nullopt;
    const std::optional<double> perSecond = match(Patterns::pricePerSecond(), page);
    if (!perSecond)
        return std::nullopt;
    ModelPrice price;
    price.unit = PriceUnit::computeSecond;
    price.low = *perSecond;
    price.high = *perSecond;
    price.typicalRun = match(Patterns::typicalRun(), page);
    return price;
}

QString format(double value)
{
    const int decimals = value < 0.01 ? 4 : value < 1.0 ? 3 : 2;
    // QString::asprintf ignores the locale, so the separator is always ".".
    QString text = QString::asprintf("%.*f", decimals, value);
    while (text.endsWith(QLatin1Char('0'))) {
        const qsizetype point = text.lastIndexOf(QLatin1Char('.'));
        if (point < 0 || text.size() - point - 1 < 3)
            break;
        text.chop(1);
    }
    return QStringLiteral("$") + text;
}

QString format(double low, double high)
{
    const QString lowText = format(low);
    const QString highText = format(high);
    if (lowText == highText)
        return lowText;
    return lowText + QChar(0x2013) + highText;
}

} // namespace Pricing
