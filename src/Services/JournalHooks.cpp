#include "Services/JournalHooks.h"

#include "Services/JobJournal.h"

namespace JournalHooks
{

void attach(VariantPipeline::Setup &setup, const QPointer<JobJournal> &journal, const QUuid &pair)
{
    if (!journal)
        return;
    setup.beforeCreate = [journal, pair](QJsonObject input) {
        return JobJournal::recordCreate(journal, pair, std::move(input));
    };
    setup.beforePart = [journal, pair](QString folder) -> QCoro::Task<void> {
        if (!journal)
            co_return;
        journal->partFolder(pair, folder);
        auto committing = JobJournal::committed(journal);
        co_await committing;
    };
    setup.beforeName = [journal, pair](int index, QString path) {
        return JobJournal::recordOutput(journal, pair, index, std::move(path));
    };
}

} // namespace JournalHooks
