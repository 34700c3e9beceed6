// Create from the user's side: what reaches the library, read back from the
// file it wrote with a decoder; the window after it; and what it reports
// instead of showing a stale picture.
#include <QFile>
#include <QTest>

#include "file_identity.h"
#include "support/test_support.h"

class CreateTest : public QObject {
    Q_OBJECT

  private slots:
    // Every text fits a 21-module symbol; the size item's number is the
    // margin in modules. The folder ends in "/", passed on as is.
    void whatTheUserChoseReachesTheLibrary_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("encoded");  // trimmed of spaces only
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("sizeIndex");
        const auto row = [](const char* name, QString typed, QString encoded, int level, int size) {
            QTest::newRow(name) << typed << encoded << level << size;
        };
        row("L, 1", "   слово  ", "слово", 0, 0);
        row("M, 5, tab, inner spaces, line break", "\tone  two\n ", "\tone  two\n", 1, 1);
        row("Q, 10, no-break spaces", "\u00a0x\u00a0 ", "\u00a0x\u00a0", 2, 2);
        row("H, 25", "abc", "abc", 3, 5);
    }

    void whatTheUserChoseReachesTheLibrary() {
        QFETCH(QString, typed);
        QFETCH(QString, encoded);
        QFETCH(int, level);
        QFETCH(int, sizeIndex);
        WindowFixture fixture("app/");
        QCOMPARE(fixture.Create(typed, level, sizeIndex), QStringList());
        const int side = (21 + 2 * fixture.combo()->currentText().toInt()) * 5;
        const QImage written = QImage(fixture.bitmapFile()).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(written.size(), QSize(side, side));
        QCOMPARE(Decode(written).bytes, encoded.toUtf8());
        QCOMPARE(Decode(written).level, QString("LMQH").at(level));
        QCOMPARE(fixture.preview(), written);
        // The window after it: empty focused box, Create off, the rest on.
        QVERIFY(fixture.txt()->text().isEmpty() && fixture.txt()->hasFocus());
        QVERIFY(!fixture.cmd(0)->isEnabled() && !fixture.combo()->isEnabled());
        QVERIFY(fixture.cmd(1)->isEnabled() && fixture.cmd(3)->isEnabled());
        QCOMPARE(fixture.window().currentLevel(), level);
        QCOMPARE(fixture.combo()->currentIndex(), sizeIndex);
    }

    void fullTextBoxOfCyrillic_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("earlierPicture");
        QTest::newRow("M fits") << 1 << true;
        QTest::newRow("Q, no earlier picture") << 2 << false;
        QTest::newRow("H, earlier picture") << 3 << true;
    }

    void fullTextBoxOfCyrillic() {
        QFETCH(int, level);
        QFETCH(bool, earlierPicture);
        WindowFixture fixture;
        if (earlierPicture) {
            fixture.Create("earlier", 0, 0);
        }
        const QImage previewBefore = fixture.preview();
        const FileIdentity fileBefore = IdentityOf(fixture.bitmapFile());
        const QString text(1000, u'ё');  // 2000 UTF-8 bytes
        const QStringList boxes = fixture.Create(text, level, 1);
        if (level < 2) {
            QCOMPARE(boxes, QStringList());
            QCOMPARE(Decode(fixture.preview()).bytes, text.toUtf8());
            return;
        }
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgTextDoesNotFit|QR|"),
                 qPrintable(boxes.join('\n')));
        // Everything kept for the user to shorten the text or lower the
        // level; no stale picture: the earlier one stays in file and preview.
        QCOMPARE(fixture.txt()->text(), text);
        QCOMPARE(fixture.window().currentLevel(), level);
        QCOMPARE(fixture.combo()->currentIndex(), 1);
        QVERIFY(fixture.cmd(0)->isEnabled());
        QCOMPARE(fixture.preview(), previewBefore);
        QCOMPARE(IdentityOf(fixture.bitmapFile()), fileBefore);
        QCOMPARE(fixture.cmd(1)->isEnabled(), earlierPicture);
    }

    void missingLibraryIsReportedAndLoadedLater() {
        WindowFixture fixture;
        const QString away = fixture.libraryFile() + ".away";
        QVERIFY(QFile::rename(fixture.libraryFile(), away));
        const QStringList boxes = fixture.Create("текст");
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgLibraryNotLoaded|") &&
                     boxes[0].contains(fixture.libraryFile()),
                 qPrintable(boxes.join('\n')));
        QCOMPARE(fixture.txt()->text(), QString("текст"));
        // With the file back, the next Create loads it and works.
        QVERIFY(QFile::rename(away, fixture.libraryFile()));
        QCOMPARE(fixture.Click(0), QStringList());
        QCOMPARE(Decode(fixture.preview()).bytes, QString("текст").toUtf8());
    }
};

QTEST_MAIN(CreateTest)
#include "tst_create.moc"
