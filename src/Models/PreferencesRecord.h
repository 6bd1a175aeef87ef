#pragma once

#include "Models/ModeState.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The user's choices as they are stored: every mode's state and the reveal switch, one compact
// JSON document {"modes":[…],"revealWhenDone":false}.
struct PreferencesRecord {
    QList<ModeState> modes;
    bool revealWhenDone = false;

    // An override JSON cannot hold (an infinite number) is left out of the document, so that one
    // bad value never keeps the rest from being saved. None when any other value cannot be written.
    std::optional<QByteArray> encode() const;
    // Every key but "outputFolder" is required; throws StoredDecodeError (or the decode error of
    // a catalog entry or parameter value) when the document cannot be read as a whole.
    static PreferencesRecord decode(const QByteArray &bytes);

    friend bool operator==(const PreferencesRecord &, const PreferencesRecord &) = default;
};
