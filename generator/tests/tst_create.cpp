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
    // Every text is short enough for a 21-module symbol at its level; the
    // size item's number is the margin in modules.
    void whatTheUserChoseReachesTheLibrary_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("encoded");  // trimmed of spaces only
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("sizeIndex");
        const auto row = [](const char* name, const char* folder, const char* typed,
                            const char* encoded, int level, int sizeIndex) {
            QTest::newRow(name) << QString(folder) << QString(typed) << QString(encoded) << level
                                << sizeIndex;
        };
        row("L, 1, spaces around a word", "app", "   слово  ", "слово", 0, 0);
        row("M, 5, tab, inner spaces and line break kept", "app", "\tone  two\n ", "\tone  two\n",
            1, 1);
        row("Q, 10, no-break spaces kept, folder ending in /", "app/", "\u00a0x\u00a0 ",
            "\u00a0x\u00a0", 2, 2);
        row("H, 25", "app", "abc", "abc", 3, 5);
    }

    void whatTheUserChoseReachesTheLibrary() {
        QFETCH(QString, folder);
        QFETCH(QString, typed);
        QFETCH(QString, encoded);
        QFETCH(int, level);
        QFETCH(int, sizeIndex);
        WindowFixture fixture(folder);
        QCOMPARE(fixture.Create(typed, level, sizeIndex), QStringList());
        const int side = (21 + 2 * fixture.combo()->currentText().toInt()) * 5;
        QCOMPARE(fixture.window().bitmapPath(), fixture.bitmapFile());  // "//" passed on as is
        const QImage written = QImage(fixture.bitmapFile()).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(written.size(), QSize(side, side));
        QCOMPARE(Decode(written).bytes, encoded.toUtf8());
        QCOMPARE(Decode(written).level, QString("LMQH").at(level));
        QCOMPARE(fixture.preview(), written);
    }

    void windowAfterEachCreate() {
        WindowFixture fixture;
        for (const QString text : {"первый", "the second one, longer than the first"}) {
            fixture.Create(text, 1, 4);
            QCOMPARE(Decode(fixture.preview()).bytes, text.toUtf8());
            QCOMPARE(fixture.txt()->text(), QString());
            QCOMPARE(QApplication::focusWidget(), fixture.txt());
            QVERIFY(!fixture.cmd(0)->isEnabled() && !fixture.combo()->isEnabled());
            QVERIFY(fixture.cmd(1)->isEnabled() && fixture.cmd(2)->isEnabled() &&
                    fixture.cmd(3)->isEnabled());
            QVERIFY(fixture.opt(1)->isChecked());
            QCOMPARE(fixture.combo()->currentText(), QString("20"));
        }
    }

    void fullTextBoxOfCyrillic_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("earlierPicture");
        QTest::addColumn<bool>("fits");  // 2000 UTF-8 bytes
        QTest::newRow("L") << 0 << false << true;
        QTest::newRow("M") << 1 << true << true;
        QTest::newRow("Q, no earlier picture") << 2 << false << false;
        QTest::newRow("H, earlier picture") << 3 << true << false;
    }

    void fullTextBoxOfCyrillic() {
        QFETCH(int, level);
        QFETCH(bool, earlierPicture);
        QFETCH(bool, fits);
        WindowFixture fixture;
        if (earlierPicture) {
            fixture.Create("earlier", 0, 0);
        }
        const QImage previewBefore = fixture.preview();
        const FileIdentity fileBefore = IdentityOf(fixture.bitmapFile());
        const QString text(1000, u'ё');
        const QStringList boxes = fixture.Create(text, level, 1);
        if (fits) {
            QCOMPARE(boxes, QStringList());
            QCOMPARE(Decode(fixture.preview()).bytes, text.toUtf8());
            return;
        }
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgTextDoesNotFit|QR|"),
                 qPrintable(boxes.join('\n')));
        // Everything as it was, so that the user can shorten the text or
        // lower the level; the earlier picture stays in the file and preview.
        QCOMPARE(fixture.txt()->text(), text);
        QCOMPARE(fixture.window().currentLevel(), level);
        QCOMPARE(fixture.combo()->currentIndex(), 1);
        QVERIFY(fixture.cmd(0)->isEnabled());
        QCOMPARE(fixture.preview(), previewBefore);
        QCOMPARE(IdentityOf(fixture.bitmapFile()), fileBefore);
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(fixture.cmd(i)->isEnabled(), earlierPicture);
        }
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
