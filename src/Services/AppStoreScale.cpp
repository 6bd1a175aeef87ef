// The upscale factor a model applies; apart from the overrides because it needs parsed schemas.
#include "Services/AppStore.h"

std::optional<double> AppStore::scale(const QString &slug) const
{
    const auto it = m_directory->schemaStates().constFind(slug);
    if (it == m_directory->schemaStates().constEnd() || !it->isReady() || !it->schema())
        return std::nullopt;
    const auto param = it->schema()->scaleParam();
    if (!param)
        return std::nullopt;
    const ModeState current = state();
    std::optional<ParamValue> value = param->defaultValue;
    const auto model = current.overrides.constFind(slug);
    if (model != current.overrides.constEnd() && model->contains(param->key))
        value = model->value(param->key);
    return value ? value->scaleFactor() : std::nullopt;
}
