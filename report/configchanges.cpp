#include "report/configchanges.h"

#include "engine/convert.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>
#include <QSet>

namespace {

using Section = Config::Section;

// The sections in the report's order.
const Section ReportOrder[] = {Section::General, Section::Output, Section::Display, Section::Tlf,
                               Section::Relais,  Section::Modbus, Section::Service};

QString changeText(const char *text)
{
    return QCoreApplication::translate("ChangeReport", text);
}

// A value as scalar texts by key path: a list's elements and an object's
// keys each under their own path ("sensors[1]", "values.3"), everything else
// as the report prints it (a number without a decimal point when whole).
using FlatValues = QVector<QPair<QString, QString>>;

void flatten(const QVariant &value, const QString &path, FlatValues *into)
{
    if (value.userType() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        for (int i = 0; i < list.size(); ++i)
            flatten(list.at(i), path + QStringLiteral("[%1]").arg(i), into);
    } else if (value.userType() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            flatten(it.value(), path + QLatin1Char('.') + it.key(), into);
    } else {
        into->append({path, value.toString()});
    }
}

// The printed values of one record on one side, by their numbers.
struct Block
{
    bool exists = false;
    QString heading;
    QVector<int> fields;
};

class Comparison
{
public:
    Comparison(const ComparedConfiguration &before, const ComparedConfiguration &after)
        : m_before(before)
        , m_after(after)
    { }

    QVector<ConfigChange> run()
    {
        forEachRecord([this](Section section, int entry) { comparePrinted(section, entry); });
        forEachRecord([this](Section section, int entry) { compareStored(section, entry); });
        return m_changes;
    }

private:
    template<typename Visit>
    void forEachRecord(const Visit &visit) const
    {
        for (const Section section : ReportOrder) {
            const int entries = qMax(m_before.entryCount(section), m_after.entryCount(section));
            for (int entry = 0; entry < entries; ++entry)
                visit(section, entry);
        }
    }

    static Block blockOf(const ComparedConfiguration &side, Section section, int entry)
    {
        Block block;
        block.exists = side.record(section, entry) != nullptr;
        const QVector<PrintedField> &printed = side.printed();
        for (int i = 0; i < printed.size(); ++i) {
            const FieldSource &source = printed.at(i).source;
            if (source.section == section && source.entry == entry) {
                block.fields.append(i);
                block.heading = printed.at(i).section;
            }
        }
        return block;
    }

    static bool sameValue(const FieldSource &a, const FieldSource &b)
    {
        return a.position == b.position && a.element == b.element;
    }

    int findIn(const ComparedConfiguration &side, const Block &block,
               const FieldSource &source) const
    {
        for (const int i : block.fields) {
            if (sameValue(side.printed().at(i).source, source))
                return i;
        }
        return -1;
    }

    void add(ConfigChange::Kind kind, const QString &section, const QString &label,
             const QString &before, const QString &after, const QVector<int> &afterFields = {})
    {
        m_changes.append({kind, section, label, before, after, afterFields});
    }

    void comparePrinted(Section section, int entry)
    {
        const Block before = blockOf(m_before, section, entry);
        const Block after = blockOf(m_after, section, entry);
        if (after.exists && !before.exists) {
            add(ConfigChange::Kind::Added, after.heading, QString(), QString(), changeText("neu"),
                after.fields);
            return;
        }
        if (before.exists && !after.exists) {
            add(ConfigChange::Kind::Removed, before.heading, QString(), QString(),
                changeText("entfernt"));
            for (const int i : before.fields) {
                const PrintedField &field = m_before.printed().at(i);
                add(ConfigChange::Kind::RemovedValue, before.heading, field.label, field.text,
                    QString());
            }
            return;
        }
        for (const int i : after.fields) {
            const PrintedField &field = m_after.printed().at(i);
            const int was = findIn(m_before, before, field.source);
            const QString old = was < 0 ? QString() : m_before.printed().at(was).text;
            // A value one report prints and the other holds unprinted (an
            // output that turned to or from PRESSURE) is compared as stored.
            if ((was >= 0 || field.source.element >= 0) && (was < 0 || old != field.text))
                add(ConfigChange::Kind::Value, after.heading, field.label, old, field.text, {i});
        }
        for (const int i : before.fields) {
            const PrintedField &field = m_before.printed().at(i);
            if (field.source.element >= 0 && findIn(m_after, after, field.source) < 0)
                add(ConfigChange::Kind::Value, after.heading, field.label, field.text, QString());
        }
    }

    // Positions that both reports print as a whole are compared as printed,
    // as are the elements of a list printed line by line.
    static void notePrinted(const ComparedConfiguration &side, const Block &block, QSet<int> *whole,
                            QSet<int> *byElement)
    {
        for (const int i : block.fields) {
            const FieldSource &source = side.printed().at(i).source;
            (source.element < 0 ? whole : byElement)->insert(source.position);
        }
    }

    void compareStored(Section section, int entry)
    {
        const ConfigRecord *before = m_before.record(section, entry);
        const ConfigRecord *after = m_after.record(section, entry);
        if (!before || !after)
            return;
        const Block beforeBlock = blockOf(m_before, section, entry);
        const Block afterBlock = blockOf(m_after, section, entry);
        QSet<int> wholeBefore, wholeAfter, byElement;
        notePrinted(m_before, beforeBlock, &wholeBefore, &byElement);
        notePrinted(m_after, afterBlock, &wholeAfter, &byElement);
        const QString heading = afterBlock.heading;
        for (int position = 0; position < qMax(before->size(), after->size()); ++position) {
            const bool printedByBoth
                    = wholeBefore.contains(position) && wholeAfter.contains(position);
            if (printedByBoth || byElement.contains(position)
                || (section == Section::General && position == Config::General::Date))
                continue;
            QVector<int> shownBy;
            for (const int i : afterBlock.fields) {
                if (m_after.printed().at(i).source.position == position)
                    shownBy.append(i);
            }
            compareValues(heading, Config::keyName(section, position), before->value(position),
                          after->value(position), shownBy);
        }
        if (section == Section::General)
            compareValues(heading, QStringLiteral("offsets"), m_before.offsets(), m_after.offsets(),
                          {});
    }

    void compareValues(const QString &heading, const QString &key, const QVariant &before,
                       const QVariant &after, const QVector<int> &shownBy)
    {
        FlatValues was;
        FlatValues is;
        flatten(before, key, &was);
        flatten(after, key, &is);
        QHash<QString, QString> wasByPath;
        for (const auto &value : qAsConst(was))
            wasByPath.insert(value.first, value.second);
        QSet<QString> seen;
        for (const auto &value : qAsConst(is)) {
            seen.insert(value.first);
            const QString old = wasByPath.value(value.first);
            if (old != value.second)
                add(ConfigChange::Kind::Value, heading, value.first, old, value.second, shownBy);
        }
        for (const auto &value : qAsConst(was)) {
            if (!seen.contains(value.first) && !value.second.isEmpty())
                add(ConfigChange::Kind::Value, heading, value.first, value.second, QString(),
                    shownBy);
        }
    }

    const ComparedConfiguration &m_before;
    const ComparedConfiguration &m_after;
    QVector<ConfigChange> m_changes;
};

} // namespace

ComparedConfiguration::ComparedConfiguration()
    : m_task(new convert)
{ }

ComparedConfiguration::~ComparedConfiguration() = default;

bool ComparedConfiguration::load(const QString &path, QString *reason)
{
    m_path = path;
    QJsonObject root;
    if (!m_task->readSource(path, reason, &root))
        return false;
    take(root);
    return true;
}

void ComparedConfiguration::read(const QJsonObject &root)
{
    m_task->readConfiguration(root);
    take(root);
}

void ComparedConfiguration::take(const QJsonObject &root)
{
    m_warning = m_task->warningFor(root);
    m_printed = m_task->printedFields();
    const QJsonObject configuration = root.value(QLatin1String("configuration")).toObject();
    m_offsets = configuration.value(QLatin1String("offsets")).toVariant();
}

QString ComparedConfiguration::name() const
{
    return Config::textAt(m_task->general, Config::General::Name);
}

QString ComparedConfiguration::date() const
{
    return Config::textAt(m_task->general, Config::General::Date);
}

const ConfigRecord *ComparedConfiguration::record(Config::Section section, int entry) const
{
    const convert &task = *m_task;
    switch (section) {
    case Section::General:
        return &task.general;
    case Section::Output:
        return entry < task.outputs.size() ? &task.outputs.at(entry) : nullptr;
    case Section::Display:
        return &task.display;
    case Section::Tlf:
        return &task.tlf;
    case Section::Relais:
        return entry < task.relais.size() ? &task.relais.at(entry) : nullptr;
    case Section::Modbus:
        return &task.modbus;
    case Section::Service:
        return &task.service;
    }
    return nullptr;
}

int ComparedConfiguration::entryCount(Config::Section section) const
{
    if (section == Section::Output)
        return int(m_task->outputs.size());
    if (section == Section::Relais)
        return int(m_task->relais.size());
    return 1;
}

QVector<ConfigChange> compareConfigurations(const ComparedConfiguration &before,
                                            const ComparedConfiguration &after)
{
    return Comparison(before, after).run();
}

int changeCount(const QVector<ConfigChange> &changes)
{
    int count = 0;
    for (const ConfigChange &change : changes)
        count += change.kind == ConfigChange::Kind::RemovedValue ? 0 : 1;
    return count;
}

QVector<bool> changedLines(const QVector<ConfigChange> &changes, int printedCount)
{
    QVector<bool> changed(printedCount, false);
    for (const ConfigChange &change : changes) {
        for (const int field : change.afterFields) {
            if (field < printedCount)
                changed[field] = true;
        }
    }
    return changed;
}
