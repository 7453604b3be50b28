#include "conversionrun.h"
#include "fuzzsupport.h"

#include <QFile>
#include <QTemporaryDir>

// A whole conversion, from the file's bytes to a PDF on disk.
namespace {
QTemporaryDir *folder = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startApplication(argc, argv);
    folder = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString source = folder->filePath(QStringLiteral("input.json"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const ConversionRun run = runConversion(source, folder->filePath(QStringLiteral("report.pdf")));
    expectOneEnd(run.finished, run.aborted);
    return 0;
}
