// Start-up writes the library out exactly, or says why it cannot and ends;
// Exit and Esc ask; closing deletes QR.bmp and empties the X clipboard only
// while it still holds our picture. Runs on the X server named by DISPLAY.
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
    void extraction_data() {
        const QByteArray built = ReadFile(QRIMAGE_LIBRARY_FILE);
        QTest::addColumn<QByteArray>("before");  // null: no file
        QTest::newRow("empty folder") << QByteArray();
        QTest::newRow("identical file") << built;
        QTest::newRow("longer different file") << built + QByteArray(4096, 'x');
    }

    void extraction() {
        QFETCH(QByteArray, before);
        QTemporaryDir folder;
        const QString path = folder.filePath("libqrimage.so");
        QFile file(path);
        QVERIFY(before.isNull() ||
                (file.open(QIODevice::WriteOnly) && file.write(before) == before.size()));
        file.close();
        const FileIdentity identityBefore = IdentityOf(path);

        const ExtractedFile written = ExtractResourceFile(folder.path(), 101, 101);
        QCOMPARE(written.error, QString());
        QCOMPARE(written.path, path);
        const QByteArray built = ReadFile(QRIMAGE_LIBRARY_FILE);
        QCOMPARE(ReadFile(path), built);
        // An identical file is left alone (an installed copy in a folder the
        // user cannot write works); no temporary file stays behind.
        QCOMPARE(IdentityOf(path) == identityBefore, before == built);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"libqrimage.so"});
    }

    void startupFailureIsReported() {
        // A plain file where the application folder should be: the library
        // cannot be written there, not even by root.
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
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
    }

    void closing_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("closes");  // the answer to the question too, if one is asked
        QTest::addColumn<bool>("deletedBeforehand");  // QR.bmp, by someone else
        // Who put a text on the clipboard after our picture; the text is that name.
        QTest::addColumn<QString>("copiedSince");
        QTest::newRow("Exit, No") << "exit" << false << false << "";
        QTest::newRow("Exit, Yes") << "exit" << true << false << "";
        QTest::newRow("Esc, Yes") << "esc" << true << false << "";
        QTest::newRow("close box") << "close" << true << false << "";
        QTest::newRow("QR.bmp deleted by someone") << "close" << true << true << "";
        QTest::newRow("another program copied since") << "close" << true << false << "xclip";
        QTest::newRow("a text copied here since") << "close" << true << false << "here";
    }

    void closing() {
        QFETCH(QString, how);
        QFETCH(bool, closes);
        QFETCH(bool, deletedBeforehand);
        QFETCH(QString, copiedSince);
        WindowFixture fixture;
        fixture.Create("до свидания");
        QCOMPARE(fixture.Click(3), QStringList());
        QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
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

        const QStringList boxes = Answering(closes ? QMessageBox::Yes : QMessageBox::No, [&] {
            if (how == "exit") {
                QTest::mouseClick(fixture.cmd(4), Qt::LeftButton);
            } else if (how == "esc") {
                QTest::keyClick(fixture.txt(), Qt::Key_Escape);
            } else {
                fixture.window().close();
            }
        });
        // The close box never asks; a QR.bmp already gone is no error.
        QCOMPARE(boxes, how == "close" ? QStringList()
                                       : QStringList{"msgAskToClose|QR|Закрыть программу?"});
        QCOMPARE(fixture.window().isVisible(), !closes);
        QCOMPARE(QFile::exists(fixture.bitmapFile()), !closes && !deletedBeforehand);
        QVERIFY(QFile::exists(fixture.libraryFile()));
        // Other programs see our picture go with the window, and only that.
        if (copiedSince.isEmpty()) {
            const ProcessResult targets = ReadClipboard("TARGETS");
            QVERIFY2(targets.out.contains("image/bmp") == !closes, targets.out.constData());
        } else {
            QCOMPARE(ReadClipboard("UTF8_STRING").out, copiedSince.toUtf8());
        }
    }
};

QTEST_MAIN(StartupShutdownTest)
#include "tst_startup_shutdown.moc"
