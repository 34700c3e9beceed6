// Open and Copy with the real desktop: xdg-open's association starts a
// stand-in viewer that records the path it was given (scripts/test-env.sh
// registers it for image/bmp), and another program reads the X clipboard.
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "support/test_support.h"

class OpenCopyTest : public QObject {
    Q_OBJECT

  private slots:
    void open_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("deletedBeforehand");
        QTest::newRow("plain folder") << "app" << false;
        QTest::newRow("spaces and Cyrillic") << "Мои QR коды/папка с пробелами" << false;
        QTest::newRow("QR.bmp deleted by someone") << "app" << true;
    }

    void open() {
        QFETCH(QString, folder);
        QFETCH(bool, deletedBeforehand);
        WindowFixture fixture(folder);
        fixture.Create("открыть");
        QVERIFY(!deletedBeforehand || QFile::remove(fixture.bitmapFile()));
        const QImage preview = fixture.preview();
        // The viewer inherits this environment through xdg-open.
        QTemporaryDir logFolder;
        const QString log = logFolder.filePath("opened.log");
        qputenv("TEST_VIEWER_LOG", QFile::encodeName(log));
        bool viewerStarted = false;
        const QStringList boxes = Answering(QMessageBox::Ok, [&] {
            QTest::mouseClick(fixture.cmd(1), Qt::LeftButton);
            // By then the viewer has started, or xdg-open has found the file
            // missing; a second, wrong start would show too.
            viewerStarted = QTest::qWaitFor([&] { return QFileInfo(log).size() > 0; },
                                            deletedBeforehand ? 1000 : 10000);
            QTest::qWait(300);
        });
        QCOMPARE(boxes, QStringList());
        if (!deletedBeforehand) {
            QVERIFY2(viewerStarted, "the stand-in viewer was not started within 10 s");
            QFile opened(log);
            QVERIFY(opened.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(opened.readAll()), fixture.bitmapFile() + '\n');
        }
        QCOMPARE(fixture.preview(), preview);
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
        const ProcessResult bmp = ReadClipboard("image/bmp");
        QVERIFY2(bmp.ok && bmp.out.startsWith("BM"), qPrintable(bmp.error));
        QCOMPARE(QImage::fromData(bmp.out, "BMP").convertToFormat(QImage::Format_RGB32),
                 fixture.preview());
        // One picture, offered once in each image format.
        const QList<QByteArray> targets = ReadClipboard("TARGETS").out.trimmed().split('\n');
        QCOMPARE(targets.count("image/bmp"), 1);
        QCOMPARE(targets.count("image/png"), 1);
    }
};

QTEST_MAIN(OpenCopyTest)
#include "open_copy.moc"
