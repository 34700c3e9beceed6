// Start-up writes the library out exactly, or says why it cannot and ends;
// closing deletes QR.bmp and empties the X clipboard only while it still
// holds our picture. Runs on the X server named by DISPLAY.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include "application_folder.h"
#include "file_identity.h"
#include "resource_extraction.h"
#include "support/test_support.h"

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class StartupShutdownTest : public QObject {
    Q_OBJECT

  private slots:
    // Whose folder the program works in (the installed layout itself runs
    // in system_end_to_end).
    void applicationFolderRule_data() {
        QTest::addColumn<QString>("overridden");
        QTest::addColumn<bool>("writable");  // the executable's folder
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("expected");
        QTest::newRow("override wins") << "/o/" << true << "/r"
                                       << "/o/";
        QTest::newRow("own folder, writable") << "" << true << "/r"
                                              << "/exe";
        QTest::newRow("runtime folder") << "" << false << "/r"
                                        << "/r/qrgenerator";
        QTest::newRow("no runtime folder") << "" << false << ""
                                           << "/h/.cache/qrgenerator";
    }

    void applicationFolderRule() {
        QFETCH(QString, overridden);
        QFETCH(bool, writable);
        QFETCH(QString, runtime);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(ChooseApplicationFolder(
                     {overridden.toStdString(), "/exe", writable, runtime.toStdString(), "/h"})),
                 expected);
    }

    void extraction() {
        // An identical file is left alone (a read-only installed copy works);
        // a longer one is replaced exactly, leaving no temporary file.
        const QByteArray built = ReadFile(QRIMAGE_LIBRARY_FILE);
        for (const QByteArray& before : {built, built + QByteArray(4096, 'x')}) {
            QTemporaryDir folder;
            const QString path = folder.filePath("libqrimage.so");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
            file.close();
            const FileIdentity identityBefore = IdentityOf(path.toStdString());
            QCOMPARE(ExtractResourceFile(folder.path(), 101, 101).error, QString());
            QCOMPARE(ReadFile(path), built);
            QCOMPARE(IdentityOf(path.toStdString()) == identityBefore, before == built);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{"libqrimage.so"});
        }
    }

    void startupFailureIsReported() {
        // A plain file as the application folder: unwritable even by root.
        QTemporaryDir scratch;
        const QString notAFolder = scratch.filePath("plain-file");
        QVERIFY(QFile(notAFolder).open(QIODevice::WriteOnly));
        QProcess program;
        qputenv(kApplicationFolderVariable, QFile::encodeName(notAFolder));
        program.start(QRGENERATOR_EXECUTABLE);
        qunsetenv(kApplicationFolderVariable);
        // The report is a box titled "QR"; Enter presses its OK.
        const ProcessResult focus =
            RunProcess("xdotool", {"search", "--sync", "--name", "^QR$", "windowfocus", "--sync"});
        QVERIFY2(focus.ok, qPrintable(focus.error));
        QVERIFY(RunProcess("xdotool", {"key", "Return"}).ok);
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 10000);
        QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 1);
    }

    void closing_data() {
        QTest::addColumn<bool>("deletedBeforehand");  // QR.bmp, by someone else: no error
        // Who put a text on the clipboard after our picture; the text is that name.
        QTest::addColumn<QString>("copiedSince");
        QTest::newRow("our picture still there") << false << "";
        QTest::newRow("QR.bmp deleted, another program copied since") << true << "xclip";
        QTest::newRow("a text copied here since") << false << "here";
    }

    void closing() {
        QFETCH(bool, deletedBeforehand);
        QFETCH(QString, copiedSince);
        WindowFixture fixture;
        fixture.Create("до свидания");
        QCOMPARE(fixture.Click(3), QStringList());
        const auto xclip = [](const char* target) {
            return RunProcess("xclip", {"-selection", "clipboard", "-t", target, "-o"}).out;
        };
        QVERIFY(xclip("TARGETS").contains("image/bmp"));
        QVERIFY(!deletedBeforehand || QFile::remove(fixture.bitmapFile()));
        QProcess other;  // serves one read, then ends
        if (copiedSince == "xclip") {
            other.start("xclip", {"-selection", "clipboard", "-i", "-quiet", "-loops", "1"});
            other.write(copiedSince.toUtf8());
            other.closeWriteChannel();
            QTRY_VERIFY(!QGuiApplication::clipboard()->ownsClipboard());
        } else if (copiedSince == "here") {
            QGuiApplication::clipboard()->setText(copiedSince);
        }
        // The close box never asks.
        QCOMPARE(Answering(QMessageBox::Yes, [&] { fixture.window().close(); }), QStringList());
        QVERIFY(!fixture.window().isVisible());
        QVERIFY(!QFile::exists(fixture.bitmapFile()));
        // Other programs see our picture go with the window, and only that.
        const QByteArray seen = xclip(copiedSince.isEmpty() ? "TARGETS" : "UTF8_STRING");
        QVERIFY2(copiedSince.isEmpty() ? !seen.contains("image/bmp") : seen == copiedSince.toUtf8(),
                 seen.constData());
    }
};

QTEST_MAIN(StartupShutdownTest)
#include "tst_startup_shutdown.moc"
