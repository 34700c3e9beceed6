// Trimming, Val and the rounding of the size list's number.
#include <QTest>

#include <cstdint>
#include <limits>

#include "trim_and_val.h"

class TextRulesTest : public QObject {
    Q_OBJECT

  private slots:
    void trimSpaces_data();
    void trimSpaces();
    void val_data();
    void val();
    void roundHalfEven_data();
    void roundHalfEven();
};

void TextRulesTest::trimSpaces_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("spaces") << "  a b  "
                            << "a b";
    QTest::newRow("only spaces") << "   "
                                 << "";
    QTest::newRow("tab and line breaks stay") << "\t a\n "
                                              << "\t a\n";
    QTest::newRow("no-break space stays") << "\u00a0x\u00a0"
                                          << "\u00a0x\u00a0";
}

void TextRulesTest::trimSpaces() {
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    QCOMPARE(TrimSpaces(text), trimmed);
}

void TextRulesTest::val_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    for (const char* item : {"1", "5", "10", "15", "20", "25"}) {
        QTest::newRow(item) << QString(item) << QString(item).toDouble();
    }
    QTest::newRow("blanks skipped everywhere") << " 1 2\t3 " << 123.0;
    QTest::newRow("stops at a letter") << "12px" << 12.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign and fraction") << "-2.5" << -2.5;
    QTest::newRow("second point stops") << "1.5.3" << 1.5;
    QTest::newRow("exponent") << "1e2" << 100.0;
    QTest::newRow("D exponent") << "2D1" << 20.0;
    QTest::newRow("exponent without digits") << "7e+" << 7.0;
    QTest::newRow("lone sign") << "-" << 0.0;
}

void TextRulesTest::val() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Val(text), value);
}

void TextRulesTest::roundHalfEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int32_t>("rounded");
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("2.4999") << 2.4999 << 2;
    QTest::newRow("too large") << 1e12 << std::numeric_limits<int32_t>::max();
    QTest::newRow("too small") << -1e12 << std::numeric_limits<int32_t>::min();
}

void TextRulesTest::roundHalfEven() {
    QFETCH(double, value);
    QFETCH(int32_t, rounded);
    QCOMPARE(RoundToInt32HalfEven(value), rounded);
}

QTEST_MAIN(TextRulesTest)
#include "tst_text_rules.moc"
