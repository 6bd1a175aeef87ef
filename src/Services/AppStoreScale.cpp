// The upscale factor a model applies; apart from the overrides because it needs parsed schemas.
#include "Services/AppStore.h"
#include "Services/CostPlanner.h"

std::optional<double> AppStore::scale(const QString &slug) const
{
    const auto it = m_directory->schemaStates().constFind(slug);
    if (it == m_directory->schemaStates().constEnd() || !it->isReady() || !it->schema())
        return std::nullopt;
    return CostPlanner::scale(*it->schema(), state().overrides.value(slug));
}
