// Open and Copy with the real desktop: xdg-open's association starts a
// stand-in viewer that records the path it was given (scripts/test-env.sh
// registers it for image/bmp), and another program reads the X clipboard.
#include <QFile>
#include <QTest>

#include "support/test_support.h"

class OpenCopyTest : public QObject {
    Q_OBJECT

  private slots:
    void open_data() {
        QTest::addColumn<bool>("deletedBeforehand");
        QTest::newRow("QR.bmp there") << false;
        QTest::newRow("QR.bmp deleted by someone") << true;
    }

    void open() {
        QFETCH(bool, deletedBeforehand);
        WindowFixture fixture("Мои QR коды/папка с пробелами");
        fixture.Create("открыть");
        QVERIFY(!deletedBeforehand || QFile::remove(fixture.bitmapFile()));
        // The viewer inherits this environment through xdg-open.
        QTemporaryDir logFolder;
        QFile log(logFolder.filePath("opened.log"));
        qputenv("TEST_VIEWER_LOG", QFile::encodeName(log.fileName()));
        QCOMPARE(fixture.Click(1), QStringList());
        const QString expected = deletedBeforehand ? QString() : fixture.bitmapFile() + '\n';
        QTRY_VERIFY_WITH_TIMEOUT(log.exists() || deletedBeforehand, 10000);
        // A second, wrong start, or a report of the missing file, would show by now.
        QTest::qWait(1000);
        QCOMPARE(log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString(),
                 expected);
        QVERIFY(fixture.window().isVisible());
    }

    void copy_data() {
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("deletedBeforehand");
        QTest::newRow("once") << 1 << false;
        QTest::newRow("twice") << 2 << false;
        QTest::newRow("after QR.bmp was deleted") << 1 << true;
    }

    void copy() {
        QFETCH(int, copies);
        QFETCH(bool, deletedBeforehand);
        WindowFixture fixture;
        fixture.Create("буфер обмена", 2, 1);
        QVERIFY(!deletedBeforehand || QFile::remove(fixture.bitmapFile()));
        for (int copy = 0; copy < copies; ++copy) {
            QCOMPARE(fixture.Click(3), QStringList());
        }
        // An image, not a text: xclip prints nothing and succeeds for a format
        // nobody offers, so the BMP's magic must be there.
        const auto read = [](const char* target) {
            return RunProcess("xclip", {"-selection", "clipboard", "-t", target, "-o"});
        };
        const ProcessResult bmp = read("image/bmp");
        QVERIFY2(bmp.ok && bmp.out.startsWith("BM"), qPrintable(bmp.error));
        QCOMPARE(QImage::fromData(bmp.out, "BMP").convertToFormat(QImage::Format_RGB32),
                 fixture.preview());
        // One picture, offered once in each image format.
        const QList<QByteArray> targets = read("TARGETS").out.trimmed().split('\n');
        QCOMPARE(targets.count("image/bmp"), 1);
        QCOMPARE(targets.count("image/png"), 1);
    }
};

QTEST_MAIN(OpenCopyTest)
#include "open_copy.moc"
