#include "Models/PreferencesRecord.h"

#include "Models/StoredFields.h"
#include "Models/StoredJson.h"

namespace
{

StoredJson encodeCatalogModel(const CatalogModel &model)
{
    // Field order, which CatalogModel::toStored's QJsonObject cannot keep.
    return StoredJson::object()
        .insert(QStringLiteral("owner"), model.owner)
        .insert(QStringLiteral("name"), model.name)
        .insert(QStringLiteral("title"), model.title)
        .insert(QStringLiteral("blurb"), model.blurb)
        .insert(QStringLiteral("isCustom"), model.isCustom);
}

StoredJson encodeModeState(const ModeState &state)
{
    StoredJson selected = StoredJson::array();
    for (const QString &slug : state.selectedSlugs)
        selected.append(slug);
    StoredJson custom = StoredJson::array();
    for (const CatalogModel &model : state.customModels)
        custom.append(encodeCatalogModel(model));
    StoredJson overrides = StoredJson::object();
    for (auto model = state.overrides.begin(); model != state.overrides.end(); ++model) {
        StoredJson params = StoredJson::object();
        for (auto param = model->begin(); param != model->end(); ++param) {
            StoredJson value = StoredJson::fromJson(param.value().toStored());
            // A value JSON cannot hold (an infinite number) is left out; it must not cost the
            // rest of the user's choices their place on disk.
            if (value.toBytes())
                params.insert(param.key(), std::move(value));
        }
        overrides.insert(model.key(), std::move(params));
    }

    StoredJson json = StoredJson::object();
    json.insert(QStringLiteral("mode"), Modes::key(state.mode))
        .insert(QStringLiteral("selectedSlugs"), std::move(selected))
        .insert(QStringLiteral("focusedSlug"), state.focusedSlug)
        .insert(QStringLiteral("customModels"), std::move(custom))
        .insert(QStringLiteral("overrides"), std::move(overrides));
    if (state.outputFolder)
        json.insert(QStringLiteral("outputFolder"), *state.outputFolder);
    json.insert(QStringLiteral("filenameSuffix"), state.filenameSuffix);
    // Both written only when set, so a document without them reads as before.
    if (state.includeSubfolders)
        json.insert(QStringLiteral("includeSubfolders"), true);
    if (state.spendLimit)
        json.insert(QStringLiteral("spendLimit"), *state.spendLimit);
    return json;
}

ModeState decodeModeState(const QJsonObject &object)
{
    using namespace StoredFields;
    ModeState state;
    state.mode = StoredFields::mode(object, "mode");
    state.selectedSlugs = strings(object, "selectedSlugs");
    state.focusedSlug = string(object, "focusedSlug");
    for (const QJsonValue &model : array(required(object, "customModels"), "customModels"))
        state.customModels.append(
            CatalogModel::fromStored(StoredFields::object(model, "customModels")));
    const QJsonObject overrides = StoredFields::object(required(object, "overrides"), "overrides");
    for (auto model = overrides.begin(); model != overrides.end(); ++model) {
        const QJsonObject params = StoredFields::object(model.value(), "overrides");
        ParamOverrides &decoded = state.overrides[model.key()];
        for (auto param = params.begin(); param != params.end(); ++param)
            decoded.insert(param.key(), ParamValue::fromStored(
                                            StoredFields::object(param.value(), "overrides")));
    }
    state.outputFolder = optionalString(object, "outputFolder");
    state.filenameSuffix = string(object, "filenameSuffix");
    state.includeSubfolders = optionalBoolean(object, "includeSubfolders").value_or(false);
    state.spendLimit = optionalNumber(object, "spendLimit");
    return state;
}

} // namespace

std::optional<QByteArray> PreferencesRecord::encode() const
{
    StoredJson states = StoredJson::array();
    for (const ModeState &state : modes)
        states.append(encodeModeState(state));
    return StoredJson::object()
        .insert(QStringLiteral("modes"), std::move(states))
        .insert(QStringLiteral("revealWhenDone"), revealWhenDone)
        .toBytes();
}

PreferencesRecord PreferencesRecord::decode(const QByteArray &bytes)
{
    using namespace StoredFields;
    const QJsonObject document = object(parse(bytes), "preferences");
    PreferencesRecord record;
    for (const QJsonValue &state : array(required(document, "modes"), "modes"))
        record.modes.append(decodeModeState(object(state, "modes")));
    record.revealWhenDone = boolean(document, "revealWhenDone");
    return record;
}
