#include "engine/jsoncheck.h"
#include "fuzzsupport.h"

#include <QJsonDocument>
#include <QJsonObject>

// Reading alone: the decoding of UTF-16 and UTF-32, the strict check, the
// parser and the reader.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    if (readAsUtf8(&bytes).verdict != JsonCheck::Valid
        || checkJson(bytes).verdict != JsonCheck::Valid)
        return 0;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return 0;
    convert task;
    int progress = 0;
    QObject::connect(&task, &convert::newPbarValue, [&progress](int value) {
        if (value != ++progress)
            std::abort();
    });
    task.readConfiguration(document.object());
    if (progress != 8)
        std::abort();
    return 0;
}
