// moonforge-batch: see README.md beside this file.
#include "BatchOptions.h"
#include "BatchRun.h"
#include "Services/AppStore.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("moonforge-batch"));
    const std::optional<BatchOptions> options = BatchOptions::read(app);
    if (!options)
        return 2;
    AppStore store(options->environment);
    BatchRun run(store, *options);
    return run.exec();
}
