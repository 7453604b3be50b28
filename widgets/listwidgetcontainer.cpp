#include "widgets/listwidgetcontainer.h"

#include "system/filenames.h"
#include "system/reportpaths.h"
#include "widgets/cbutton.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QResizeEvent>
#include <QShortcut>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QUrl>

namespace {

constexpr int LeftMargin = 5;
constexpr int PathFontPointSize = 16;
constexpr int PathStretch = 3;
constexpr int ProgressStretch = 1;
constexpr int InitialMaximum = 100;
// A line edit keeps its text this far from the inside of its frame, on
// either side, and keeps a pixel free after it for the text cursor.
constexpr int LineEditTextMargin = 2;
constexpr int LineEditCursorRoom = 1;
// Room the progress bar's frame and margin (style sheet) take from its text.
constexpr int ProgressTextMargin = 6;

const QString DefaultFormat = QStringLiteral("%p%");
const QChar Ellipsis(0x2026);
const QChar ReplacementCharacter(0xFFFD);
// The bar's dynamic properties that the style sheet gives the failure look
// and the look of a report written with a warning.
const char *const FailedProperty = "failed";
const char *const WarnedProperty = "warned";
// Marks a widget that holds the rows' style sheet for all rows inside it.
const char *const SharedStyleProperty = "rowStyleShared";

const QString StyleSheet = QStringLiteral(
        "QPushButton#btnDelete{border-image:url(:/img/btnClose.png);}QPushButton#btnDelete:"
        "pressed{border-image:url(:/img/btnCloseInv.png);}QPushButton#btnNewName{border-image:"
        "url(:/img/Edit.png);}QPushButton#btnNewName:pressed{border-image:url(:/img/"
        "Edit_blau.png);}QPushButton#btnKonvertier{border-image:url(:/img/IconSwitch.png);}"
        "QPushButton#btnKonvertier:pressed{border-image:url(:/img/IconSwitchInv.png);}"
        "QProgressBar#pBarKonvert{border: 1px solid gray; border-radius:12px; margin:2px; "
        "text-align:center;}QProgressBar#pBarKonvert::chunk {background-color: #E30613; "
        "border-radius:12px; margin: 2px;}"
        // A button that cannot act now is grey: disabled, or busy while the
        // row's task runs (a busy button keeps the focus). Busy is the
        // ":flat" state, which changes nothing else on an image button and,
        // unlike a property, is read at each paint: no re-polish of every
        // row's buttons when all rows start at once.
        "QPushButton#btnNewName:disabled,QPushButton#btnNewName:flat"
        "{border-image:url(:/img/Edit_grau.png);}"
        "QPushButton#btnKonvertier:disabled,QPushButton#btnKonvertier:flat"
        "{border-image:url(:/img/IconSwitch_grau.png);}"
        // A failed bar is pale with a dashed red frame and dark red words,
        // unlike a finished one, which is filled red.
        "QProgressBar#pBarKonvert[failed=\"true\"]{color:#9E0A12; font-weight:bold; "
        "background-color:#FDECEC; border:2px dashed #E30613;}"
        // A report written with a warning is full, but amber, not red.
        "QProgressBar#pBarKonvert[warned=\"true\"]{color:#4A3400; font-weight:bold;}"
        "QProgressBar#pBarKonvert[warned=\"true\"]::chunk{background-color:#F2B600;}");

// What the row makes of a chosen name: ".pdf" added when it lacks it, "." and
// ".." taken out, so that the row shows and keeps the name it writes.
QString finalTarget(const QString &chosen)
{
    return QDir::cleanPath(ReportPaths::withPdfSuffix(chosen));
}

// The file dialog's own question, from Qt's translations, about the name that
// will really be written.
bool agreedToReplace(QWidget *parent, const QString &caption, const QString &target)
{
    const QString question
            = QCoreApplication::translate("QFileDialog",
                                          "%1 already exists.\nDo you want to replace it?")
                      .arg(QFileInfo(target).fileName());
    return QMessageBox::warning(parent, caption, question, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No)
           == QMessageBox::Yes;
}

// The dialog itself would ask about the name as typed, before ".pdf" is added
// (a native dialog even before its default suffix), so it asks nothing and
// the question is put here, about the final name. "No" goes back to the
// dialog at that name.
QString askUserForTarget(QWidget *parent, const QString &caption, const QString &currentTarget)
{
    QString start = currentTarget;
    for (;;) {
        QFileDialog dialog(parent, caption, start,
                           ListWidgetContainer::tr("PDF-Dokumente (*.pdf)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("pdf"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        QString target = finalTarget(dialog.selectedFiles().constFirst());
        if (!QFileInfo::exists(target) || agreedToReplace(parent, caption, target))
            return target;
        start = target;
    }
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// xdg-open's exit status when it found no program for the file.
constexpr int XdgOpenNoProgram = 3;

// In a Flatpak or Snap sandbox only Qt's desktop portal opens files.
bool inSandbox()
{
    return QFileInfo::exists(QStringLiteral("/.flatpak-info")) || qEnvironmentVariableIsSet("SNAP");
}

// Starts xdg-open as QDesktopServices does, but hears its exit status: the
// only word of a viewer that could not open the file. False if there is none.
bool runXdgOpen(const QUrl &url, const ListWidgetContainer::OpenDone &done)
{
    using OpenResult = ListWidgetContainer::OpenResult;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty() || inSandbox())
        return false;
    // Not a row's child: a row removed while xdg-open waits for a viewer
    // must not end the viewer.
    auto *helper = new QProcess;
    helper->setProgram(program);
    helper->setArguments({QString::fromLatin1(url.toEncoded())});
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(helper, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), helper,
                     [helper, done](int code, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && code == 0)
                             done(OpenResult::Opened);
                         else
                             done(code == XdgOpenNoProgram ? OpenResult::NoProgram
                                                           : OpenResult::ProgramFailed);
                         helper->deleteLater();
                     });
    QObject::connect(helper, &QProcess::errorOccurred, helper,
                     [helper, done](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         done(OpenResult::NoProgram);
                         helper->deleteLater();
                     });
    helper->start();
    return true;
}
#endif

void openFileOnDesktop(const QUrl &url, const ListWidgetContainer::OpenDone &done)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (runXdgOpen(url, done))
        return;
#endif
    done(QDesktopServices::openUrl(url) ? ListWidgetContainer::OpenResult::Opened
                                        : ListWidgetContainer::OpenResult::NoProgram);
}

// A local path as a URL by its bytes, so that a name that is not UTF-8 names
// the same file for the program that opens it.
QUrl urlOfFile(const QString &path)
{
    return QUrl::fromEncoded(QByteArrayLiteral("file://")
                             + QFile::encodeName(path).toPercentEncoding("/"));
}

// A path as text, as a system shows it in its locale. A byte the locale could
// not decode is kept by FileNames as a lone surrogate, which is no character:
// it becomes U+FFFD, as UTF-8 systems show it, and never a letter that would
// name another file.
QString pastableText(const QString &path)
{
    QString text = path;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = ReplacementCharacter;
    }
    return text;
}

// A file name too long for room. Every row's name ends in ".pdf", which tells
// no rows apart: it goes first, then the middle of the rest.
QString elidedName(const QFontMetrics &metrics, const QString &name, int room)
{
    const QString stem = ReportPaths::hasPdfSuffix(name)
                                 ? name.left(name.size() - ReportPaths::PdfSuffix.size())
                                 : name;
    QString endingCut = stem + Ellipsis;
    if (metrics.horizontalAdvance(endingCut) <= room)
        return endingCut;
    return metrics.elidedText(stem, Qt::ElideMiddle, room);
}

// The path shortened to room. The folder gives way first, from its start, so
// that the file name tells rows apart; only a name too long on its own is cut.
QString elidedPath(const QFontMetrics &metrics, const QString &path, int room)
{
    if (metrics.horizontalAdvance(path) <= room)
        return path;
    const int nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QString name = path.mid(nameStart);
    QString shortest = Ellipsis + name;
    if (metrics.horizontalAdvance(shortest) > room)
        return elidedName(metrics, name, room);
    const QString folder = metrics.elidedText(path.left(nameStart), Qt::ElideLeft,
                                              room - metrics.horizontalAdvance(name));
    // Kerning may make the joined text a little wider than its parts.
    QString shown = folder + name;
    if (folder.isEmpty() || metrics.horizontalAdvance(shown) > room)
        return shortest;
    return shown;
}

bool styleSharedAbove(const QWidget *parent)
{
    for (const QWidget *holder = parent; holder; holder = holder->parentWidget()) {
        if (holder->property(SharedStyleProperty).toBool())
            return true;
    }
    return false;
}

// Makes the style sheet read a widget's dynamic properties again.
void restyle(QWidget *widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

// The width a line edit shows text in: inside its frame as its style draws
// it, less its text margins and the cursor.
int textRoom(const QLineEdit *field)
{
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->contentsRect();
    option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth,
                                                                       &option, field)
                                         : 0;
    option.state |= QStyle::State_Sunken;
    if (field->isReadOnly())
        option.state |= QStyle::State_ReadOnly;
    const QRect contents
            = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    const QMargins margins = field->textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * LineEditTextMargin
           - LineEditCursorRoom;
}

// The narrowest a bar may be: room for its widest word (bold, as a failure
// shows it) within its frame and margins. Qt's own minimum, made for longer
// texts, would take the path field's room on a narrow window.
int barMinimumWidth(const QProgressBar *bar)
{
    QFont bold = bar->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int widest = 0;
    for (const QString &word :
         {QStringLiteral("100%"), ListWidgetContainer::tr("wartet"),
          ListWidgetContainer::tr("Fehler"), ListWidgetContainer::tr("Warnung")})
        widest = qMax(widest, metrics.horizontalAdvance(word));
    return widest + 2 * ProgressTextMargin;
}

cButton *makeButton(QWidget *row, const QString &name, const QString &toolTip)
{
    auto *button = new cButton(row);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    return button;
}

} // namespace

ListWidgetContainer::ListWidgetContainer(QWidget *parent, QString path, QString sourcePath)
    : QWidget(parent)
    // Over the window, not centred on the screen.
    , m_chooseTarget([this](const QString &target) {
        return askForPdf(window(), tr("Speichern unter"), target);
    })
    , m_openUrl(openOnDesktop)
{
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(LeftMargin, 0, 0, 0);

    m_path = std::move(path);
    m_sourcePath = std::move(sourcePath);

    m_pathField = new QLineEdit(this);
    m_pathField->setObjectName(QStringLiteral("LineEditPath"));
    m_pathField->setReadOnly(true);
    m_pathField->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pathField->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont font;
    font.setPointSize(PathFontPointSize);
    m_pathField->setFont(font);
    // The field may get its final width after the row's own resize (when the
    // layout is activated later): shorten the text again then too.
    m_pathField->installEventFilter(this);
    m_pathField->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pathField, &QWidget::customContextMenuRequested, this,
            &ListWidgetContainer::showContextMenu);

    // The field has its real width only once the list has placed the row.
    QMetaObject::invokeMethod(this, &ListWidgetContainer::setTextElided, Qt::QueuedConnection);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("pBarKonvert"));
    m_progress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_progress->setRange(0, InitialMaximum);
    m_progress->setValue(0);
    // The same for every row: measured once.
    static const int barWidth = barMinimumWidth(m_progress);
    m_progress->setMinimumWidth(barWidth);

    cButton *btnDelete = makeButton(this, QStringLiteral("btnDelete"), tr("Entfernen"));
    m_deleteButton = btnDelete;
    cButton *btnNewName
            = makeButton(this, QStringLiteral("btnNewName"), tr("Speichern unter \u2026"));
    m_newNameButton = btnNewName;
    cButton *btnKonvertier = makeButton(this, QStringLiteral("btnKonvertier"), tr("Konvertieren"));
    m_konvertButton = btnKonvertier;
    connect(btnDelete, &QAbstractButton::clicked, this, &ListWidgetContainer::deleteMe);
    connect(btnNewName, &QAbstractButton::clicked, this, [this] { askNewName(); });
    // A busy button can still be clicked (it keeps the focus); it starts nothing.
    connect(btnKonvertier, &QAbstractButton::clicked, this, [this] {
        if (canStart())
            emit konvertMe();
    });
    for (QWidget *part : {static_cast<QWidget *>(btnDelete), static_cast<QWidget *>(btnNewName),
                          static_cast<QWidget *>(btnKonvertier)})
        part->installEventFilter(this);

    // Delete anywhere in the row removes it, as its button does.
    auto *removeKey = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    removeKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(removeKey, &QShortcut::activated, this, &ListWidgetContainer::deleteMe);

    layout->addWidget(m_pathField, PathStretch);
    layout->addWidget(m_progress, ProgressStretch);
    layout->addWidget(btnDelete, 0);
    layout->addWidget(btnNewName, 0);
    layout->addWidget(btnKonvertier, 0);

    if (!styleSharedAbove(parent))
        setStyleSheet(StyleSheet);
}

void ListWidgetContainer::shareStyle(QWidget *holder)
{
    holder->setProperty(SharedStyleProperty, true);
    holder->setStyleSheet(StyleSheet);
}

ListWidgetContainer::~ListWidgetContainer() = default;

QString ListWidgetContainer::askForPdf(QWidget *parent, const QString &caption,
                                       const QString &start)
{
    return askUserForTarget(parent, caption, start);
}

void ListWidgetContainer::openOnDesktop(const QUrl &url, const OpenDone &done)
{
    openFileOnDesktop(url, done);
}

QUrl ListWidgetContainer::fileUrl(const QString &path)
{
    return urlOfFile(path);
}

void ListWidgetContainer::setPath(const QString &target)
{
    m_path = target;
    setTextElided();
}

bool ListWidgetContainer::isAtRest() const
{
    return m_conversion == Conversion::Idle || m_conversion == Conversion::Failed;
}

void ListWidgetContainer::markStarted()
{
    showAtRest();
    m_conversion = Conversion::Started;
    m_progress->setFormat(tr("wartet"));
    // The running task writes the target it was given: no new one under it.
    setTargetButtonsBusy(true);
}

void ListWidgetContainer::setTargetButtonsBusy(bool busy)
{
    for (cButton *button : {m_newNameButton, m_konvertButton})
        button->setFlat(busy);
}

void ListWidgetContainer::setBarLook(const char *property, bool on)
{
    if (m_progress->property(property).toBool() == on)
        return;
    m_progress->setProperty(property, on);
    restyle(m_progress);
}

void ListWidgetContainer::showAtRest()
{
    m_conversion = Conversion::Idle;
    m_failure.clear();
    m_warning.clear();
    m_progress->setFormat(DefaultFormat);
    m_progress->setToolTip(QString());
    m_progress->setValue(m_progress->minimum());
    setBarLook(FailedProperty, false);
    setBarLook(WarnedProperty, false);
}

void ListWidgetContainer::setTargetChooser(TargetChooser chooser)
{
    m_chooseTarget = std::move(chooser);
}

void ListWidgetContainer::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

bool ListWidgetContainer::reportAvailable() const
{
    return m_conversion != Conversion::Started && QFileInfo(m_path).isFile();
}

void ListWidgetContainer::openReport()
{
    const QString shown = FileNames::forDisplay(m_path);
    openUrl(fileUrl(m_path),
            tr("Der Bericht %1 lässt sich nicht öffnen: kein Programm dafür gefunden.").arg(shown),
            tr("Der Bericht %1 lässt sich nicht öffnen: das Programm dafür meldet einen Fehler.")
                    .arg(shown));
}

void ListWidgetContainer::openFolder()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    const QString shown = FileNames::forDisplay(folder);
    openUrl(fileUrl(folder),
            tr("Der Ordner %1 lässt sich nicht öffnen: kein Programm dafür gefunden.").arg(shown),
            tr("Der Ordner %1 lässt sich nicht öffnen: das Programm dafür meldet einen Fehler.")
                    .arg(shown));
}

void ListWidgetContainer::openUrl(const QUrl &url, const QString &noProgram,
                                  const QString &programFailed)
{
    if (!m_openUrl) {
        emit notice(noProgram);
        return;
    }
    // The verdict may come after the row has gone.
    const QPointer<ListWidgetContainer> row(this);
    m_openUrl(url, [row, noProgram, programFailed](OpenResult result) {
        if (row && result != OpenResult::Opened)
            emit row->notice(result == OpenResult::NoProgram ? noProgram : programFailed);
    });
}

void ListWidgetContainer::copyPath()
{
    // A file manager takes the URL, which names the file by its bytes.
    auto *content = new QMimeData;
    content->setUrls({fileUrl(m_path)});
    content->setText(pastableText(m_path));
    QGuiApplication::clipboard()->setMimeData(content);
}

QWidget *ListWidgetContainer::partWidget(Part part) const
{
    switch (part) {
    case Part::PathField:
        return m_pathField;
    case Part::DeleteButton:
        return m_deleteButton;
    case Part::NewNameButton:
        return m_newNameButton;
    case Part::KonvertButton:
        return m_konvertButton;
    case Part::None:
        break;
    }
    return nullptr;
}

ListWidgetContainer::Part ListWidgetContainer::focusedPart() const
{
    for (Part part :
         {Part::PathField, Part::DeleteButton, Part::NewNameButton, Part::KonvertButton}) {
        if (partWidget(part)->hasFocus())
            return part;
    }
    return Part::None;
}

void ListWidgetContainer::focusPart(Part part)
{
    // Not a Tab focus: the path field does not select its whole text for it.
    if (QWidget *widget = partWidget(part))
        widget->setFocus(Qt::OtherFocusReason);
}

void ListWidgetContainer::showContextMenu(const QPoint &pos)
{
    QMenu menu(this);
    QAction *open = menu.addAction(tr("Bericht öffnen"), this, &ListWidgetContainer::openReport);
    open->setEnabled(reportAvailable());
    QAction *folder = menu.addAction(tr("Ordner öffnen"), this, &ListWidgetContainer::openFolder);
    folder->setEnabled(QFileInfo(QFileInfo(m_path).absolutePath()).isDir());
    menu.addAction(tr("Pfad kopieren"), this, &ListWidgetContainer::copyPath);
    QAction *compare = menu.addAction(tr("Mit früherem Stand vergleichen \u2026"), this,
                                      &ListWidgetContainer::compareMe);
    compare->setObjectName(QStringLiteral("actionCompare"));
    menu.exec(m_pathField->mapToGlobal(pos));
}

void ListWidgetContainer::setPbarRange(int min, int max)
{
    if (m_progress)
        m_progress->setRange(min, max);
}

void ListWidgetContainer::setPbarValue(int value)
{
    if (!m_progress)
        return;
    m_progress->setValue(value);
    // Its first step shows that the task has left the queue.
    if (m_conversion == Conversion::Started && m_progress->value() > m_progress->minimum())
        m_progress->setFormat(DefaultFormat);
}

void ListWidgetContainer::conversionFinished()
{
    if (m_conversion != Conversion::Started)
        return;
    m_conversion = Conversion::Finished;
    setTargetButtonsBusy(false);
    m_progress->setFormat(m_warning.isEmpty() ? DefaultFormat : tr("Warnung"));
    m_progress->setToolTip(m_warning);
    m_progress->setValue(m_progress->maximum());
    setBarLook(WarnedProperty, !m_warning.isEmpty());
    emit conversionEnded(true);
}

void ListWidgetContainer::conversionWarned(const QString &warning)
{
    if (m_conversion == Conversion::Started)
        m_warning = warning;
}

void ListWidgetContainer::conversionFailed(const QString &reason)
{
    if (m_conversion != Conversion::Started)
        return;
    m_conversion = Conversion::Failed;
    setTargetButtonsBusy(false);
    m_failure = reason.isEmpty() ? tr("Die Konvertierung ist fehlgeschlagen.") : reason;
    m_progress->setValue(m_progress->minimum());
    m_progress->setToolTip(m_failure);
    setBarLook(FailedProperty, true);
    showFailureText();
    emit conversionEnded(false);
}

void ListWidgetContainer::showFailureText()
{
    // The reason where it fits, else the bare word; the tooltip has it all.
    const QFontMetrics metrics(m_progress->font());
    const int room = qMax(0, m_progress->width() - ProgressTextMargin);
    QString shown = tr("Fehler: %1").arg(m_failure);
    if (metrics.horizontalAdvance(shown) > room)
        shown = metrics.elidedText(tr("Fehler"), Qt::ElideRight, room);
    // The bar would read %p, %v and %m in a path as placeholders.
    shown.replace(QLatin1Char('%'), QStringLiteral("%\u200B"));
    m_progress->setFormat(shown);
}

void ListWidgetContainer::setTextElided()
{
    if (!m_pathField)
        return;
    // A row is resized several times while the list places it; shortening
    // the text is the costly part, and done once per width and path.
    if (m_pathField->width() == m_elidedWidth && m_path == m_elidedPath)
        return;
    m_elidedWidth = m_pathField->width();
    m_elidedPath = m_path;
    const QFontMetrics metrics(m_pathField->font());
    const QString whole = FileNames::forDisplay(m_path);
    const QString shown = elidedPath(metrics, whole, textRoom(m_pathField));
    m_pathField->setText(shown);
    // The field's own fit test adds the font's widest glyph overhang; judging
    // the text too wide, it would scroll to a cursor at the end and hide the
    // text's start.
    m_pathField->setCursorPosition(0);
    m_pathField->setToolTip(shown == whole ? QString() : whole);
}

void ListWidgetContainer::resizeEvent(QResizeEvent *)
{
    setTextElided();
    if (m_conversion == Conversion::Failed)
        showFailureText();
}

bool ListWidgetContainer::eventFilter(QObject *watched, QEvent *event)
{
    // Only the parts are watched.
    if (event->type() == QEvent::FocusIn)
        emit partFocused();
    if (watched == m_pathField && handlePathFieldEvent(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool ListWidgetContainer::handlePathFieldEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
        setTextElided();
        return false;
    case QEvent::MouseButtonDblClick:
        if (reportAvailable())
            openReport();
        return true;
    case QEvent::KeyPress:
        // The field holds the shortened text; a copy takes the whole path.
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            copyPath();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void ListWidgetContainer::askNewName()
{
    if (m_conversion == Conversion::Started)
        return;
    QString name = m_chooseTarget ? m_chooseTarget(m_path) : QString();
    if (name.isEmpty())
        return;
    name = finalTarget(name);
    const QString old = m_path;
    m_path = name;
    emit newName(name);
    setTextElided();
    // The receiver may have refused the name and set the old one back. A new
    // target has not been written yet: the row may be converted again.
    if (m_path != old)
        showAtRest();
}
