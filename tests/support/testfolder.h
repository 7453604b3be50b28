#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

// A test's scratch folder. Under CTest it lies below BELMORAND_TEST_OUTPUT
// and is kept, so that a last step can check every report the tests wrote;
// run alone, it is an ordinary temporary folder that goes with the test.
class TestFolder : public QTemporaryDir
{
public:
    TestFolder()
        : QTemporaryDir(folderTemplate())
    {
        if (isKept())
            setAutoRemove(false);
    }

private:
    static QString keptRoot() { return qEnvironmentVariable("BELMORAND_TEST_OUTPUT"); }
    static bool isKept() { return !keptRoot().isEmpty(); }

    static QString folderTemplate()
    {
        const QString root = isKept() ? keptRoot() : QDir::tempPath();
        QDir().mkpath(root);
        return root + QLatin1Char('/') + QCoreApplication::applicationName()
               + QLatin1String("-XXXXXX");
    }
};
