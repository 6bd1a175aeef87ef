#pragma once

#include "Models/ModelPrice.h"
#include "Models/PriceStep.h"
#include "Models/TaskHandle.h"
#include "Services/Coroutine.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class PriceCache;
class QNetworkAccessManager;

// Reading a model's list price from its public web page, and the one dollar format used
// everywhere. The page belongs to the service; only the markers and patterns below are relied on.
namespace Pricing
{

// The page is read for at most this long before it counts as unavailable.
inline constexpr int pageTimeoutMs = 30000;
// A page larger than this is not a model page.
inline constexpr qint64 maxPageBytes = 32 * 1024 * 1024;

// The cached price, or else the price read from the page at `webBase` + "/owner/name" with a
// plain anonymous GET on `network` (which must carry no credentials; the read keeps it alive,
// so the reply is never deleted under the waiting coroutine). A page that gives a price
// is cached. Never fails: anything that goes wrong, also cancelling `handle` (which aborts the
// page read at once), gives nothing.
QCoro::Task<std::optional<ModelPrice>> fetch(std::shared_ptr<QNetworkAccessManager> network,
                                             QUrl webBase, PriceCache cache, QString slug,
                                             TaskHandle handle = TaskHandle());
// The address of a model's page; empty for a text that is not a slug.
QUrl pageUrl(const QUrl &webBase, const QString &slug);

// Page text to price: the billing object first, then the per-second hardware price.
std::optional<ModelPrice> parse(const QString &page);

// Every match of `pattern` in `text`, each as its capture groups 1…n (unmatched groups empty).
QList<QStringList> matches(const QRegularExpression &pattern, const QString &text);
// Group 1 of the first match.
std::optional<QString> matchString(const QRegularExpression &pattern, const QString &text);
// Group 1 of the first match read as a decimal number.
std::optional<double> match(const QRegularExpression &pattern, const QString &text);
// A decimal number made of digits and at most one ".", with at least one digit; the whole text
// must be the number.
std::optional<double> decimal(QStringView text);

// The balanced JSON object that follows the first `marker` (spaces allowed in between), from its
// opening brace through its closing brace; braces inside strings and escaped characters do not
// count.
std::optional<QString> jsonObject(const QString &marker, const QString &text);
// The per-unit price of the billing object's metrics; the first recognised metric fixes the unit.
std::optional<ModelPrice> perUnitPrice(const QString &billing);
// The tier rows of the billing object's (escaped) table, ascending by megapixels.
QList<PriceStep> megapixelSteps(const QString &billing);

// "$0.50", "$0.004", "$12.00": four decimals below a cent, three below a dollar, otherwise two,
// with surplus zeros beyond two decimals dropped.
QString format(double value);
// "$0.03–$0.05", or one amount when both ends print the same.
QString format(double low, double high);

// The patterns, exactly as the pages are known to carry them.
namespace Patterns
{
inline constexpr char16_t billingMarker[] = u"\"billingConfig\":";
const QRegularExpression &specialPricing();
const QRegularExpression &pricePerSecond();
const QRegularExpression &typicalRun();
const QRegularExpression &tierRow();
const QRegularExpression &metricPrice();
} // namespace Patterns

} // namespace Pricing
