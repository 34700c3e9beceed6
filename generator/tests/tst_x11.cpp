// What needs the real X server named by DISPLAY: Copy and the closing rule
// with the X clipboard (other programs, through xclip, read the picture, and
// what they put there survives our closing), and a start-up failure
// reported in a box that a person (here xdotool) answers.
#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "application_folder.h"

#include "support/window_fixture.h"

class X11Test : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void copyOffersABitmapToOtherPrograms();
    void closingClearsOnlyOurOwnPicture_data();
    void closingClearsOnlyOurOwnPicture();
    void startupFailureIsReportedAndEndsTheProgram();
};

namespace {

struct Run {
    int exitCode = -1;
    QByteArray output;
};

// Runs xclip while this program keeps answering the X server, since the
// clipboard's owner (this program) has to serve xclip's request.
Run Xclip(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess xclip;
    xclip.start("xclip", QStringList{"-selection", "clipboard"} + arguments);
    if (!xclip.waitForStarted()) {
        return {};
    }
    xclip.write(input);
    xclip.closeWriteChannel();
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
        return {};  // the QProcess ends it
    }
    return {xclip.exitCode(), xclip.readAllStandardOutput()};
}

QByteArray ReadClipboard(const char* target) {
    return Xclip({"-t", target, "-o"}).output;
}

QImage Preview(const WindowFixture& fixture) {
    return fixture.image()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

void X11Test::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    QCOMPARE(QProcess::execute("xclip", {"-version"}), 0);
    QCOMPARE(QProcess::execute("xdotool", {"version"}), 0);
}

void X11Test::copyOffersABitmapToOtherPrograms() {
    WindowFixture fixture;
    fixture.Create("копия", 2, 1);
    for (int copy = 0; copy < 2; ++copy) {
        QTest::mouseClick(fixture.cmd(3), Qt::LeftButton);
        const QByteArray bmp = ReadClipboard("image/bmp");
        QVERIFY2(bmp.startsWith("BM"), bmp.left(16).toHex().constData());
        const QImage pasted = QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(pasted, Preview(fixture));
    }
    // Copy twice leaves one picture: each image target once.
    const QList<QByteArray> targets = ReadClipboard("TARGETS").split('\n');
    QCOMPARE(targets.count("image/bmp"), 1);
    QCOMPARE(targets.count("image/png"), 1);

    // The picture lives in the preview, not in the file.
    QVERIFY(QFile::remove(fixture.bitmapFile()));
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(fixture.cmd(3), Qt::LeftButton);
    QVERIFY(ReadClipboard("image/bmp").startsWith("BM"));
}

void X11Test::closingClearsOnlyOurOwnPicture_data() {
    QTest::addColumn<bool>("otherProgramCopiesAfterUs");
    QTest::newRow("our picture still there") << false;
    QTest::newRow("another program copied since") << true;
}

void X11Test::closingClearsOnlyOurOwnPicture() {
    QFETCH(bool, otherProgramCopiesAfterUs);
    WindowFixture fixture;
    fixture.Create("чужое", 2, 0);
    QTest::mouseClick(fixture.cmd(3), Qt::LeftButton);
    QVERIFY(QGuiApplication::clipboard()->ownsClipboard());

    QProcess other;  // serves one request, then ends
    if (otherProgramCopiesAfterUs) {
        other.start("xclip", {"-selection", "clipboard", "-i", "-quiet", "-loops", "1"});
        QVERIFY(other.waitForStarted());
        other.write("from another program");
        other.closeWriteChannel();
        QTRY_VERIFY(!QGuiApplication::clipboard()->ownsClipboard());
    }
    fixture.window().close();

    const Run after = Xclip({"-o", "-t", "TARGETS"});
    if (otherProgramCopiesAfterUs) {
        QCOMPARE(ReadClipboard("UTF8_STRING"), QByteArray("from another program"));
    } else {
        QVERIFY2(!after.output.contains("image/bmp"), after.output.constData());
        QVERIFY(!QGuiApplication::clipboard()->ownsClipboard());
    }
}

void X11Test::startupFailureIsReportedAndEndsTheProgram() {
    // A plain file where the application folder should be: the library
    // cannot be written there (not even by root).
    QTemporaryDir scratch;
    const QString notAFolder = scratch.filePath("plain-file");
    QFile file(notAFolder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kApplicationFolderVariable, notAFolder);
    program.setProcessEnvironment(environment);
    program.start(QRGENERATOR_EXECUTABLE);
    QVERIFY(program.waitForStarted());
    // The box is titled "QR"; Enter presses its OK.
    QCOMPARE(QProcess::execute("xdotool",
                               {"search", "--sync", "--name", "^QR$", "windowfocus", "--sync"}),
             0);
    QCOMPARE(QProcess::execute("xdotool", {"key", "Return"}), 0);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
}

QTEST_MAIN(X11Test)
#include "tst_x11.moc"
