// Parameter overrides of the focused model.
#include "Services/AppStore.h"

std::optional<ParamValue> AppStore::value(const SchemaParam &param) const
{
    const ModeState current = state();
    const auto model = current.overrides.constFind(current.focusedSlug);
    if (model != current.overrides.constEnd()) {
        const auto it = model->constFind(param.key);
        if (it != model->constEnd())
            return *it;
    }
    return param.defaultValue;
}

void AppStore::setValue(const std::optional<ParamValue> &value, const SchemaParam &param)
{
    ModeState current = state();
    // An emptied entry stays: it still says "no overrides" and keeps the slug's place.
    ParamOverrides &model = current.overrides[current.focusedSlug];
    if (value)
        model.insert(param.key, *value);
    else
        model.remove(param.key);
    setState(current);
    savePreferences();
}

bool AppStore::isOverridden(const SchemaParam &param) const
{
    const ModeState current = state();
    const auto model = current.overrides.constFind(current.focusedSlug);
    return model != current.overrides.constEnd() && model->contains(param.key);
}

void AppStore::resetParams()
{
    ModeState current = state();
    current.overrides.remove(current.focusedSlug);
    setState(current);
    savePreferences();
}
