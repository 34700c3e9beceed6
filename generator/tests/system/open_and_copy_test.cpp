// Open and Copy with the real desktop: xdg-open's association starts a
// stand-in viewer that records the path it was given (set up by
// scripts/test-env.sh), and other programs read the X clipboard with xclip.
#include <QApplication>
#include <QFile>
#include <QSet>
#include <QTest>

#include "system_support.h"

namespace {

constexpr int kOpen = 1;
constexpr int kCopy = 3;

// The desktop entry that scripts/test-env.sh registers for image/bmp.
const QString kStandInViewer = QStringLiteral("qrimage-test-viewer.desktop");

// Reads the clipboard as another program does, in the format `target`.
ProcessResult ReadClipboard(const QString& target) {
    return RunProcess(QStringLiteral("xclip"),
                      {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                       QStringLiteral("-t"), target, QStringLiteral("-o")});
}

}  // namespace

class OpenAndCopyTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void openHandsTheViewerExactlyTheBitmapPath_data();
    void openHandsTheViewerExactlyTheBitmapPath();
    void openAfterTheFileWasDeletedChangesNothing();
    void copyOffersThePreviewAsABitmap_data();
    void copyOffersThePreviewAsABitmap();
};

void OpenAndCopyTest::initTestCase() {
    QCOMPARE(QApplication::platformName(), QStringLiteral("xcb"));
    const ProcessResult association = RunProcess(
        QStringLiteral("xdg-mime"),
        {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("image/bmp")});
    QVERIFY2(association.ok() && association.out.trimmed() == kStandInViewer.toUtf8(),
             qPrintable(QStringLiteral("the stand-in viewer is not the image/bmp handler (%1): "
                                       "run through scripts/run-tests")
                            .arg(association.describe() + association.out)));
    const ProcessResult xclip = RunProcess(QStringLiteral("xclip"), {QStringLiteral("-version")});
    QVERIFY2(xclip.ok(), qPrintable(xclip.describe()));
}

void OpenAndCopyTest::openHandsTheViewerExactlyTheBitmapPath_data() {
    QTest::addColumn<QString>("folderName");
    QTest::newRow("plain") << QStringLiteral("app");
    QTest::newRow("spaces and Cyrillic") << QStringLiteral("Мои QR коды/папка с пробелами");
}

void OpenAndCopyTest::openHandsTheViewerExactlyTheBitmapPath() {
    QFETCH(QString, folderName);
    SystemWindow fixture(folderName);
    QVERIFY2(fixture.error().isEmpty(), qPrintable(fixture.error()));
    const QString created = fixture.Create(QStringLiteral("открыть"));
    QVERIFY2(created.isEmpty(), qPrintable(created));
    QCOMPARE(fixture.window().bitmapPath(), fixture.bitmapFile());

    // The viewer inherits this environment through xdg-open.
    QTemporaryDir logFolder;
    QVERIFY(logFolder.isValid());
    const QString log = logFolder.filePath(QStringLiteral("opened.log"));
    qputenv("TEST_VIEWER_LOG", QFile::encodeName(log));
    MessageBoxCatcher catcher;
    fixture.Click(kOpen);
    QVERIFY2(QTest::qWaitFor([&] { return QFile(log).size() > 0; }, 10000),
             "the stand-in viewer was not started within 10 s");
    QTest::qWait(300);  // a second, wrong start would show by now
    QFile opened(log);
    QVERIFY(opened.open(QIODevice::ReadOnly));
    const QString received = QString::fromLocal8Bit(opened.readAll());
    QCOMPARE(received, fixture.window().bitmapPath() + QLatin1Char('\n'));
    QVERIFY2(catcher.seen().isEmpty(), qPrintable(catcher.describe()));
}

void OpenAndCopyTest::openAfterTheFileWasDeletedChangesNothing() {
    SystemWindow fixture;
    QVERIFY2(fixture.error().isEmpty(), qPrintable(fixture.error()));
    const QString created = fixture.Create(QStringLiteral("удалён"));
    QVERIFY2(created.isEmpty(), qPrintable(created));
    QVERIFY(QFile::remove(fixture.bitmapFile()));

    const QStringList before = fixture.Snapshot();
    MessageBoxCatcher catcher;
    fixture.Click(kOpen);
    QTest::qWait(1000);  // xdg-open has found the file missing by now
    QVERIFY2(catcher.seen().isEmpty(), qPrintable(catcher.describe()));
    QCOMPARE(fixture.Snapshot(), before);
    QVERIFY(!QFile::exists(fixture.bitmapFile()));
}

void OpenAndCopyTest::copyOffersThePreviewAsABitmap_data() {
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("deleteFileFirst");
    QTest::newRow("once") << 1 << false;
    QTest::newRow("twice") << 2 << false;
    QTest::newRow("after QR.bmp was deleted") << 1 << true;
}

void OpenAndCopyTest::copyOffersThePreviewAsABitmap() {
    QFETCH(int, copies);
    QFETCH(bool, deleteFileFirst);
    SystemWindow fixture;
    QVERIFY2(fixture.error().isEmpty(), qPrintable(fixture.error()));
    const QString created = fixture.Create(QStringLiteral("буфер обмена"), QStringLiteral("5"));
    QVERIFY2(created.isEmpty(), qPrintable(created));
    if (deleteFileFirst) {
        QVERIFY(QFile::remove(fixture.bitmapFile()));
    }

    MessageBoxCatcher catcher;
    for (int copy = 0; copy < copies; ++copy) {
        fixture.Click(kCopy);
    }
    QVERIFY2(catcher.seen().isEmpty(), qPrintable(catcher.describe()));

    const ProcessResult bmp = ReadClipboard(QStringLiteral("image/bmp"));
    QVERIFY2(bmp.ok(), qPrintable(bmp.describe()));
    // xclip prints nothing and succeeds for a format nobody offers.
    QVERIFY2(bmp.out.startsWith("BM"), bmp.out.left(16).toHex().constData());
    const QImage pasted = QImage::fromData(bmp.out, "BMP");
    QVERIFY2(!pasted.isNull(), "the clipboard's image/bmp is no readable BMP");
    QCOMPARE(pasted.convertToFormat(QImage::Format_RGB32), fixture.Preview());

    // One picture: every format is offered once, and the picture in the
    // other image format is the same one.
    const ProcessResult targets = ReadClipboard(QStringLiteral("TARGETS"));
    QVERIFY2(targets.ok(), qPrintable(targets.describe()));
    const QList<QByteArray> offered = targets.out.trimmed().split('\n');
    QCOMPARE(QSet<QByteArray>(offered.begin(), offered.end()).size(), offered.size());
    QVERIFY2(offered.contains("image/png"), targets.out.constData());
    const ProcessResult png = ReadClipboard(QStringLiteral("image/png"));
    QVERIFY2(png.ok(), qPrintable(png.describe()));
    QCOMPARE(QImage::fromData(png.out, "PNG").convertToFormat(QImage::Format_RGB32),
             fixture.Preview());
}

QRGENERATOR_SYSTEM_TEST_MAIN(OpenAndCopyTest)
#include "open_and_copy_test.moc"
