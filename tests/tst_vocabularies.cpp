#include "report/vocabularies.h"

#include <QtTest>

// A few rows per table, the boundaries among them.
class tst_Vocabularies : public QObject
{
    Q_OBJECT

private slots:
    void codes_data();
    void codes();
    void texts_data();
    void texts();
};

void tst_Vocabularies::codes_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("word");

    QTest::newRow("unit 0") << "unit" << 0 << QString();
    QTest::newRow("unit 1 keeps its blank") << "unit" << 1 << "Grad_C ";
    QTest::newRow("unit 2") << "unit" << 2 << "Grad_F";
    QTest::newRow("unit 9") << "unit" << 9 << "Pa";
    QTest::newRow("unit 21") << "unit" << 21 << "grain_ft3";
    QTest::newRow("unit 22") << "unit" << 22 << QString();
    QTest::newRow("unit -5") << "unit" << -5 << QString();
    QTest::newRow("unit 2147483646") << "unit" << 2147483646 << QString();
    QTest::newRow("unit 2147483647") << "unit" << 2147483647 << "MAX2";
    QTest::newRow("unit minimum") << "unit" << std::numeric_limits<int>::min() << QString();
    QTest::newRow("producer 0, also a missing one")
            << "producer" << 0 << "Rosenberg/Comefri/Gebhardt Nicotra";
    QTest::newRow("producer 2") << "producer" << 2 << QStringLiteral("Fläkt Woods");
    QTest::newRow("producer 3") << "producer" << 3 << "Unbekannst: Id 3";
    QTest::newRow("producer -1") << "producer" << -1 << "Unbekannst: Id -1";
    QTest::newRow("colour 0") << "colour" << 0 << QStringLiteral("Grün");
    QTest::newRow("colour 1") << "colour" << 1 << QStringLiteral("Grün");
    QTest::newRow("colour 2") << "colour" << 2 << "Gelb";
    QTest::newRow("colour 3") << "colour" << 3 << "Rot";
    QTest::newRow("colour 4") << "colour" << 4 << QStringLiteral("Grün");
    QTest::newRow("colour -1") << "colour" << -1 << QStringLiteral("Grün");
    QTest::newRow("measure system 1") << "system" << 1 << "Si";
    QTest::newRow("measure system 0") << "system" << 0 << "Imp";
    QTest::newRow("measure system 2") << "system" << 2 << "Imp";
}

void tst_Vocabularies::codes()
{
    QFETCH(QString, table);
    QFETCH(int, code);
    QFETCH(QString, word);

    QString got;
    if (table == QLatin1String("unit"))
        got = unitText(code);
    else if (table == QLatin1String("producer"))
        got = producerText(code);
    else if (table == QLatin1String("colour"))
        got = colorText(code);
    else
        got = measureSystemText(code);
    QCOMPARE(got, word);
}

void tst_Vocabularies::texts_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word");

    QTest::newRow("yes/no true") << "yesno"
                                 << "true"
                                 << "Ja";
    QTest::newRow("yes/no false") << "yesno"
                                  << "false"
                                  << "Nein";
    QTest::newRow("yes/no FALSE") << "yesno"
                                  << "FALSE"
                                  << "Ja";
    QTest::newRow("yes/no empty") << "yesno"
                                  << ""
                                  << "Ja";
    QTest::newRow("yes/no 0") << "yesno"
                              << "0"
                              << "Ja";
    QTest::newRow("state 0") << "state"
                             << "0" << QStringLiteral("Geöffnet");
    QTest::newRow("state 00") << "state"
                              << "00"
                              << "Geschlossen";
    QTest::newRow("state blank 0") << "state"
                                   << " 0"
                                   << "Geschlossen";
    QTest::newRow("state empty") << "state"
                                 << ""
                                 << "Geschlossen";
    QTest::newRow("state false") << "state"
                                 << "false"
                                 << "Geschlossen";
    QTest::newRow("date and time") << "date"
                                   << "2026-11-30T09:41:12"
                                   << "2026-11-30";
    QTest::newRow("date alone") << "date"
                                << "2026-11-30"
                                << "2026-11-30";
    QTest::newRow("lower-case t does not split") << "date"
                                                 << "2026-11-30t09:41"
                                                 << "2026-11-30t09:41";
    QTest::newRow("first T splits") << "date"
                                    << "aTbTc"
                                    << "a";
    QTest::newRow("empty date") << "date"
                                << ""
                                << "";
}

void tst_Vocabularies::texts()
{
    QFETCH(QString, rule);
    QFETCH(QString, text);
    QFETCH(QString, word);

    const QString got = rule == QLatin1String("yesno")   ? yesNoText(text)
                        : rule == QLatin1String("state") ? relaisStateText(text)
                                                         : datePart(text);
    QCOMPARE(got, word);
}

QTEST_APPLESS_MAIN(tst_Vocabularies)
#include "tst_vocabularies.moc"
