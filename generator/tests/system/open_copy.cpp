// Open and Copy with the real desktop: xdg-open's association starts a
// stand-in viewer that records the path it was given (scripts/test-env.sh
// registers it for image/bmp), and another program reads the X clipboard.
#include <QFile>
#include <QTest>

#include "support/test_support.h"

class OpenCopyTest : public QObject {
    Q_OBJECT

  private slots:
    void openThenCopy() {
        WindowFixture fixture("Мои QR коды/папка с пробелами");
        fixture.Create("открыть и скопировать", 2, 1);
        // The viewer inherits this environment through xdg-open.
        QTemporaryDir logFolder;
        QFile log(logFolder.filePath("opened.log"));
        qputenv("TEST_VIEWER_LOG", QFile::encodeName(log.fileName()));
        QCOMPARE(fixture.Click(1), QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(log.exists(), 10000);
        QTest::qWait(1000);  // a second, wrong start would show by now
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()), fixture.bitmapFile() + '\n');

        // Copy twice, after someone deleted QR.bmp: the picture comes from
        // memory, and the clipboard offers it once.
        QVERIFY(QFile::remove(fixture.bitmapFile()));
        // Open then reports nothing of its own and changes nothing.
        const QImage shown = fixture.preview();
        QCOMPARE(fixture.Click(1), QStringList());
        QCOMPARE(fixture.preview(), shown);
        QCOMPARE(fixture.Click(3), QStringList());
        QCOMPARE(fixture.Click(3), QStringList());
        const auto read = [](const char* target) {
            return RunProcess("xclip", {"-selection", "clipboard", "-t", target, "-o"});
        };
        // An image, not a text: xclip prints nothing and succeeds for a format
        // nobody offers, so the BMP's magic must be there.
        const ProcessResult bmp = read("image/bmp");
        QVERIFY2(bmp.ok && bmp.out.startsWith("BM"), qPrintable(bmp.error));
        QCOMPARE(QImage::fromData(bmp.out, "BMP").convertToFormat(QImage::Format_RGB32),
                 fixture.preview());
        const QList<QByteArray> targets = read("TARGETS").out.trimmed().split('\n');
        QCOMPARE(targets.count("image/bmp"), 1);
        QCOMPARE(targets.count("image/png"), 1);
    }
};

QTEST_MAIN(OpenCopyTest)
#include "open_copy.moc"
