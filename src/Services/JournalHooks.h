#pragma once

#include "Services/VariantPipeline.h"

#include <QPointer>
#include <QUuid>

class JobJournal;

// What a pair's pipeline tells the journal before each step a crash must not repeat: the create
// going out, the folder its parts are written in, the final name of each output.
namespace JournalHooks
{
void attach(VariantPipeline::Setup &setup, const QPointer<JobJournal> &journal, const QUuid &pair);
} // namespace JournalHooks
