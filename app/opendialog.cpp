#include "app/opendialog.h"

#include "system/filenames.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

namespace {

enum Column { NameColumn = 0, SizeColumn = 1, DateColumn = 3 };

// What the dialog lists, as the rest of the program shows it: names read
// through the file-name codec (a Latin-1 name as "Prüfstand.json", not with
// U+FFFD), sizes and dates in the program's German formats; Qt's file model
// formats them in the system's locale, English under LANG=C. Only what is
// displayed changes: the dialog still returns each file's own path.
class ShownFilesProxy : public QSortFilterProxyModel
{
public:
    explicit ShownFilesProxy(QObject *parent)
        : QSortFilterProxyModel(parent)
    { }

    QVariant data(const QModelIndex &index, int role) const override
    {
        auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QSortFilterProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case NameColumn:
            return FileNames::forDisplay(files->fileName(source));
        case SizeColumn:
            if (!files->isDir(source))
                return QLocale().formattedDataSize(files->size(source));
            break;
        case DateColumn:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            break;
        }
        return QSortFilterProxyModel::data(index, role);
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 5's file model matches its name filters with QRegularExpression,
    // which matches nothing in a name holding a kept byte (a lone
    // U+DC80..U+DCFF): a Latin-1 name would never be listed. The filters are
    // applied here instead, to the name as a person reads it, and the model
    // itself filters nothing.
    void useFilter(const QString &nameFilter)
    {
        m_patterns.clear();
        const QStringList patterns = patternsOf(nameFilter);
        for (const QString &pattern : patterns)
            m_patterns.append(
                    QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                       QRegularExpression::CaseInsensitiveOption));
        if (auto *files = qobject_cast<QFileSystemModel *>(sourceModel()))
            files->setNameFilters(QStringList());
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
        if (!files || m_patterns.isEmpty())
            return true;
        const QModelIndex index = files->index(row, 0, parent);
        if (files->isDir(index))
            return true;
        const QString name = FileNames::forDisplay(files->fileName(index));
        for (const QRegularExpression &pattern : m_patterns) {
            if (pattern.match(name).hasMatch())
                return true;
        }
        return false;
    }

private:
    // The patterns of a filter such as "Konfigurationen (*.json)".
    static QStringList patternsOf(const QString &filter)
    {
        static const QRegularExpression inParentheses(QStringLiteral("\\(([^()]*)\\)"));
        const QRegularExpressionMatch match = inParentheses.match(filter);
        const QString patterns = match.hasMatch() ? match.captured(1) : filter;
        return patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }

    QList<QRegularExpression> m_patterns;
#endif
};

} // namespace

QFileDialog *makeOpenDialog(QWidget *parent, const QString &nameFilters)
{
    auto *dialog = new QFileDialog(parent);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(
            !nameFilters.isEmpty()
                    ? nameFilters
                    : QCoreApplication::translate("MainWindow",
                                                  "Konfigurationen (*.json);;Alle Dateien (*)"));
    // A desktop's own dialog would hide or mangle names that are not UTF-8,
    // and show its own formats.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    auto *proxy = new ShownFilesProxy(dialog);
    dialog->setProxyModel(proxy);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    proxy->useFilter(dialog->selectedNameFilter());
    QObject::connect(dialog, &QFileDialog::filterSelected, proxy, &ShownFilesProxy::useFilter);
#endif
    return dialog;
}
