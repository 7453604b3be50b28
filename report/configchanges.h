#pragma once

#include "report/printedfield.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

QT_BEGIN_NAMESPACE
class QJsonObject;
QT_END_NAMESPACE
class convert;

// One side of a comparison: a configuration file read as a conversion reads
// it, what its report prints, and the values it holds besides.
class ComparedConfiguration
{
public:
    ComparedConfiguration();
    ~ComparedConfiguration();

    // Reads the file at path with a conversion's checks and refusals; false,
    // with the reason, when it is refused.
    bool load(const QString &path, QString *reason);
    // Takes root, a file's parsed root object.
    void read(const QJsonObject &root);

    QString path() const { return m_path; }
    QString name() const;
    QString date() const;
    // What its single report is warned of; empty for nothing.
    QString warning() const { return m_warning; }
    const QVector<PrintedField> &printed() const { return m_printed; }
    // The configuration's "offsets", which the document does not hold.
    const QVariant &offsets() const { return m_offsets; }
    // The record of section (its entry, for outputs and relais), or nullptr.
    const ConfigRecord *record(Config::Section section, int entry = 0) const;
    int entryCount(Config::Section section) const;
    // The task that read it; it draws its report.
    convert &task() const { return *m_task; }

private:
    Q_DISABLE_COPY(ComparedConfiguration)

    void take(const QJsonObject &root);

    std::unique_ptr<convert> m_task;
    QString m_path;
    QString m_warning;
    QVector<PrintedField> m_printed;
    QVariant m_offsets;
};

// One line of a change report.
struct ConfigChange
{
    enum class Kind {
        Value, // a value changed
        Added, // an output or relais only in the later state
        Removed, // an output or relais only in the earlier state
        RemovedValue, // a value of a removed one, as it was
    };
    Kind kind = Kind::Value;
    QString section; // as the report heads it
    QString label; // as the report prints it, or the key path of a value it does not print
    QString before; // as the report prints it, or as stored
    QString after;
    // The printed values of the later state's report that show it: their
    // lines are marked.
    QVector<int> afterFields;
};

// What changed from before to after, in the report's order: the values the
// reports print (by section and label, as printed), an output or relais
// added or removed, then the values they do not print (by key path, as
// stored). Numbers count as printed: 310 and 310.0 are the same. The date
// is left out: it says when each state was saved.
QVector<ConfigChange> compareConfigurations(const ComparedConfiguration &before,
                                            const ComparedConfiguration &after);
// The changes a change report counts: a removed entry's values belong to
// its removal.
int changeCount(const QVector<ConfigChange> &changes);
// For each of the later report's printedCount values, whether its line
// shows a change.
QVector<bool> changedLines(const QVector<ConfigChange> &changes, int printedCount);
