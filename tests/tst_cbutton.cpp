#include "widgets/cbutton.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(Qt::MouseButton)

// The image button: when a press and release counts as a click, the width it
// keeps, and its state property.
class tst_CButton : public QObject
{
    Q_OBJECT

private slots:
    void clickFilter_data();
    void clickFilter();
    void keyboardClicks_data();
    void keyboardClicks();
    void ratio_data();
    void ratio();
    void changeState_data();
    void changeState();
};

namespace {

constexpr int Side = 100;
const QPoint Centre(Side / 2, Side / 2);

void moveTo(QWidget *widget, const QPoint &pos, Qt::MouseButtons held)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

void tst_CButton::clickFilter_data()
{
    QTest::addColumn<bool>("restFirst"); // the pointer moved onto the button before the press
    QTest::addColumn<Qt::MouseButton>("mouseButton");
    QTest::addColumn<QPoint>("offset"); // from the press to the release
    QTest::addColumn<bool>("clicks");

    QTest::newRow("still") << true << Qt::LeftButton << QPoint(0, 0) << true;
    QTest::newRow("19 right") << true << Qt::LeftButton << QPoint(19, 0) << true;
    QTest::newRow("20 right") << true << Qt::LeftButton << QPoint(20, 0) << false;
    QTest::newRow("19 left") << true << Qt::LeftButton << QPoint(-19, 0) << true;
    QTest::newRow("19 down") << true << Qt::LeftButton << QPoint(0, 19) << true;
    QTest::newRow("20 up") << true << Qt::LeftButton << QPoint(0, -20) << false;
    // With no rest known the press is where the pointer rests.
    QTest::newRow("no move since creation") << false << Qt::LeftButton << QPoint(0, 0) << true;
    QTest::newRow("no move, 20 right") << false << Qt::LeftButton << QPoint(20, 0) << false;
    QTest::newRow("right button") << true << Qt::RightButton << QPoint(0, 0) << false;
}

void tst_CButton::clickFilter()
{
    QFETCH(bool, restFirst);
    QFETCH(Qt::MouseButton, mouseButton);
    QFETCH(QPoint, offset);
    QFETCH(bool, clicks);

    cButton button;
    button.resize(Side, Side);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QSignalSpy released(&button, &QAbstractButton::released);
    QSignalSpy mouse(&button, &cButton::signalMouseEvent);

    if (restFirst)
        moveTo(&button, Centre, Qt::NoButton);
    QTest::mousePress(&button, mouseButton, Qt::NoModifier, Centre);
    moveTo(&button, Centre + offset, mouseButton);
    QTest::mouseRelease(&button, mouseButton, Qt::NoModifier, Centre + offset);

    QCOMPARE(clicked.count(), clicks ? 1 : 0);
    QCOMPARE(released.count(), clicks ? 1 : 0);
    QVERIFY(!button.isDown());

    // Press (left button only) with the rest position, the move while held,
    // the release with where it happened.
    QList<QEvent::Type> types;
    for (const QList<QVariant> &arguments : qAsConst(mouse))
        types.append(arguments.at(0).value<QEvent::Type>());
    QList<QEvent::Type> expected;
    if (mouseButton == Qt::LeftButton)
        expected << QEvent::MouseButtonPress;
    expected << QEvent::MouseMove << QEvent::MouseButtonRelease;
    QCOMPARE(types, expected);
    if (mouseButton == Qt::LeftButton)
        QCOMPARE(mouse.first().at(1).toPoint(), button.mapToGlobal(Centre));
    QCOMPARE(mouse.last().at(1).toPoint(), button.mapToGlobal(Centre + offset));
}

void tst_CButton::keyboardClicks_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("space") << int(Qt::Key_Space);
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter (keypad)") << int(Qt::Key_Enter);
}

void tst_CButton::keyboardClicks()
{
    QFETCH(int, key);
    // No mouse move has ever reached the button: the keyboard is not filtered.
    cButton button;
    button.resize(Side, Side);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::keyClick(&button, Qt::Key(key));
    QTRY_COMPARE(clicked.count(), 1);
}

void tst_CButton::ratio_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<bool>("heightFollowsWidth");
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("expected");

    const double logo = 1000.0 / 241.0;
    QTest::newRow("logo at 60") << logo << false << QSize(10, 60) << QSize(248, 60);
    QTest::newRow("logo at 100") << logo << false << QSize(900, 100) << QSize(414, 100);
    QTest::newRow("square icon") << 1.0 << false << QSize(300, 60) << QSize(60, 60);
    QTest::newRow("height from width") << 0.5 << true << QSize(80, 10) << QSize(80, 40);
}

void tst_CButton::ratio()
{
    QFETCH(double, ratio);
    QFETCH(bool, heightFollowsWidth);
    QFETCH(QSize, requested);
    QFETCH(QSize, expected);

    cButton button;
    button.ratio = ratio;
    button.heightFollowsWidth = heightFollowsWidth;
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    button.resize(requested);
    QTRY_COMPARE(button.size(), expected);
}

void tst_CButton::changeState_data()
{
    QTest::addColumn<QList<bool>>("values");
    QTest::addColumn<bool>("throughProperty");
    QTest::addColumn<int>("rises");

    QTest::newRow("false to true") << QList<bool> {true} << false << 1;
    QTest::newRow("true twice") << QList<bool> {true, true} << false << 1;
    QTest::newRow("false only") << QList<bool> {false, false} << false << 0;
    QTest::newRow("on, off, on") << QList<bool> {true, false, true} << false << 2;
    QTest::newRow("written as property") << QList<bool> {true, true, false} << true << 1;
}

void tst_CButton::changeState()
{
    QFETCH(QList<bool>, values);
    QFETCH(bool, throughProperty);
    QFETCH(int, rises);

    cButton button;
    QSignalSpy stateOn(&button, &cButton::stateOn);
    for (bool value : qAsConst(values)) {
        if (throughProperty)
            QVERIFY(button.setProperty("state", value));
        else
            button.changeState(value);
    }
    QCOMPARE(stateOn.count(), rises);
    QCOMPARE(button.property("state").toBool(), values.last());
}

QTEST_MAIN(tst_CButton)
#include "tst_cbutton.moc"
