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

// The function under test is a column of its own.
using CodeText = QString (*)(int);
using TextRule = QString (*)(const QString &);
Q_DECLARE_METATYPE(CodeText)
Q_DECLARE_METATYPE(TextRule)

void tst_Vocabularies::codes_data()
{
    QTest::addColumn<CodeText>("function");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("word");

    const int minimum = std::numeric_limits<int>::min();
    // clang-format off
    QTest::newRow("unit 0")                         << &unitText          << 0          << QString();
    QTest::newRow("unit 1 keeps its blank")         << &unitText          << 1          << "Grad_C ";
    QTest::newRow("unit 2")                         << &unitText          << 2          << "Grad_F";
    QTest::newRow("unit 9")                         << &unitText          << 9          << "Pa";
    QTest::newRow("unit 21")                        << &unitText          << 21         << "grain_ft3";
    QTest::newRow("unit 22")                        << &unitText          << 22         << QString();
    QTest::newRow("unit -5")                        << &unitText          << -5         << QString();
    QTest::newRow("unit 2147483646")                << &unitText          << 2147483646 << QString();
    QTest::newRow("unit 2147483647")                << &unitText          << 2147483647 << "MAX2";
    QTest::newRow("unit minimum")                   << &unitText          << minimum    << QString();
    QTest::newRow("producer 0, also a missing one") << &producerText      << 0          << "Rosenberg/Comefri/Gebhardt Nicotra";
    QTest::newRow("producer 2")                     << &producerText      << 2          << QStringLiteral("Fläkt Woods");
    QTest::newRow("producer 3")                     << &producerText      << 3          << "Unbekannst: Id 3";
    QTest::newRow("producer -1")                    << &producerText      << -1         << "Unbekannst: Id -1";
    QTest::newRow("colour 0")                       << &colorText         << 0          << QStringLiteral("Grün");
    QTest::newRow("colour 1")                       << &colorText         << 1          << QStringLiteral("Grün");
    QTest::newRow("colour 2")                       << &colorText         << 2          << "Gelb";
    QTest::newRow("colour 3")                       << &colorText         << 3          << "Rot";
    QTest::newRow("colour 4")                       << &colorText         << 4          << QStringLiteral("Grün");
    QTest::newRow("colour -1")                      << &colorText         << -1         << QStringLiteral("Grün");
    QTest::newRow("measure system 1")               << &measureSystemText << 1          << "Si";
    QTest::newRow("measure system 0")               << &measureSystemText << 0          << "Imp";
    QTest::newRow("measure system 2")               << &measureSystemText << 2          << "Imp";
    // clang-format on
}

void tst_Vocabularies::codes()
{
    QFETCH(CodeText, function);
    QFETCH(int, code);
    QFETCH(QString, word);

    QCOMPARE(function(code), word);
}

void tst_Vocabularies::texts_data()
{
    QTest::addColumn<TextRule>("function");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word");

    // clang-format off
    QTest::newRow("yes/no true")                 << &yesNoText       << "true"                << "Ja";
    QTest::newRow("yes/no false")                << &yesNoText       << "false"               << "Nein";
    QTest::newRow("yes/no FALSE")                << &yesNoText       << "FALSE"               << "Ja";
    QTest::newRow("yes/no empty")                << &yesNoText       << ""                    << "Ja";
    QTest::newRow("yes/no 0")                    << &yesNoText       << "0"                   << "Ja";
    QTest::newRow("state 0")                     << &relaisStateText << "0"                   << QStringLiteral("Geöffnet");
    QTest::newRow("state 00")                    << &relaisStateText << "00"                  << "Geschlossen";
    QTest::newRow("state blank 0")               << &relaisStateText << " 0"                  << "Geschlossen";
    QTest::newRow("state empty")                 << &relaisStateText << ""                    << "Geschlossen";
    QTest::newRow("state false")                 << &relaisStateText << "false"               << "Geschlossen";
    QTest::newRow("date and time")               << &datePart        << "2026-11-30T09:41:12" << "2026-11-30";
    QTest::newRow("date alone")                  << &datePart        << "2026-11-30"          << "2026-11-30";
    QTest::newRow("lower-case t does not split") << &datePart        << "2026-11-30t09:41"    << "2026-11-30t09:41";
    QTest::newRow("first T splits")              << &datePart        << "aTbTc"               << "a";
    QTest::newRow("empty date")                  << &datePart        << ""                    << "";
    // clang-format on
}

void tst_Vocabularies::texts()
{
    QFETCH(TextRule, function);
    QFETCH(QString, text);
    QFETCH(QString, word);

    QCOMPARE(function(text), word);
}

QTEST_APPLESS_MAIN(tst_Vocabularies)
#include "tst_vocabularies.moc"
