// Start-up writes the library out exactly; Exit asks; closing cleans up
// QR.bmp and, only while it still holds our picture, the clipboard.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "application_folder.h"
#include "file_identity.h"
#include "resource_extraction.h"
#include "support/message_box_answerer.h"
#include "support/window_fixture.h"

class StartupShutdownTest : public QObject {
    Q_OBJECT

  private slots:
    void embeddedLibraryIsTheBuiltOne();
    void extraction_data();
    void extraction();
    void extractionIntoAFolderThatCannotBe();
    void programWritesItsLibraryBeforeTheWindow();
    void closing_data();
    void closing();
    void closingSurvivesABitmapDeletedBeforehand();
    void closingBeforeCreateDeletesNothing();
    void clipboardIsClearedOnlyWhileItHoldsOurPicture_data();
    void clipboardIsClearedOnlyWhileItHoldsOurPicture();
};

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

}  // namespace

void StartupShutdownTest::embeddedLibraryIsTheBuiltOne() {
    QCOMPARE(LoadResString(kLibraryNameId), QString("libqrimage.so"));
    QCOMPARE(LoadResData(kLibraryDataId), ReadFile(QRIMAGE_LIBRARY_FILE));
}

void StartupShutdownTest::extraction_data() {
    const QByteArray library = LoadResData(kLibraryDataId);
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("empty folder") << false << QByteArray();
    QTest::newRow("identical file") << true << library;
    QTest::newRow("longer different file") << true << library + QByteArray(4096, 'x');
    QTest::newRow("shorter file") << true << library.left(library.size() / 2);
    QTest::newRow("same size, other bytes") << true << QByteArray(library.size(), '\0');
}

void StartupShutdownTest::extraction() {
    QFETCH(bool, present);
    QFETCH(QByteArray, before);
    QTemporaryDir folder;
    const QString path = folder.path() + "/libqrimage.so";
    if (present) {
        WriteFile(path, before);
    }
    const FileIdentity identityBefore = IdentityOf(path);

    const ExtractedFile written = ExtractResourceFile(folder.path(), 101, 101);
    QCOMPARE(written.error, QString());
    QCOMPARE(written.path, path);
    QCOMPARE(ReadFile(path), LoadResData(kLibraryDataId));
    // An identical file is left alone; no temporary file stays behind.
    QCOMPARE(IdentityOf(path) == identityBefore, before == LoadResData(kLibraryDataId));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"libqrimage.so"});
}

void StartupShutdownTest::extractionIntoAFolderThatCannotBe() {
    QTemporaryDir folder;
    const QString notAFolder = folder.path() + "/plain-file";
    WriteFile(notAFolder, "x");
    const ExtractedFile written = ExtractResourceFile(notAFolder, 101, 101);
    QCOMPARE(written.path, notAFolder + "/libqrimage.so");
    QVERIFY(!written.error.isEmpty());
}

void StartupShutdownTest::programWritesItsLibraryBeforeTheWindow() {
    QTemporaryDir folder;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kApplicationFolderVariable, folder.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(QRGENERATOR_EXECUTABLE);
    QVERIFY(program.waitForStarted());
    const QString library = folder.path() + "/libqrimage.so";
    QTRY_COMPARE_WITH_TIMEOUT(ReadFile(library), LoadResData(kLibraryDataId), 10000);
    QCOMPARE(program.state(), QProcess::Running);  // the window is up, waiting
    program.kill();
    QVERIFY(program.waitForFinished());
}

void StartupShutdownTest::closing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Exit, No") << "exit" << int(QMessageBox::No) << true << false;
    QTest::newRow("Exit, Yes") << "exit" << int(QMessageBox::Yes) << true << true;
    QTest::newRow("Esc, No") << "esc" << int(QMessageBox::No) << true << false;
    QTest::newRow("Esc, Yes") << "esc" << int(QMessageBox::Yes) << true << true;
    QTest::newRow("close box") << "close" << int(QMessageBox::No) << false << true;
}

void StartupShutdownTest::closing() {
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(bool, asks);
    QFETCH(bool, closes);
    WindowFixture fixture;
    fixture.Create("до свидания", 2, 0);
    QTest::mouseClick(fixture.cmd(3), Qt::LeftButton);  // Copy

    MessageBoxAnswerer answerer(static_cast<QMessageBox::StandardButton>(answer));
    if (how == "exit") {
        QTest::mouseClick(fixture.cmd(4), Qt::LeftButton);
    } else if (how == "esc") {
        QTest::keyClick(fixture.txt(), Qt::Key_Escape);
    } else {
        fixture.window().close();
    }
    QCOMPARE(answerer.seen().size(), asks ? 1 : 0);
    if (asks) {
        QCOMPARE(answerer.seen()[0].objectName, QString("msgAskToClose"));
    }
    QCOMPARE(fixture.window().isVisible(), !closes);
    QCOMPARE(QFile::exists(fixture.bitmapFile()), !closes);
    QVERIFY(QFile::exists(fixture.libraryFile()));
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(clipboard != nullptr && clipboard->hasImage(), !closes);
}

void StartupShutdownTest::closingSurvivesABitmapDeletedBeforehand() {
    WindowFixture fixture;
    fixture.Create("gone", 2, 0);
    QVERIFY(QFile::remove(fixture.bitmapFile()));
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    fixture.window().close();
    QVERIFY(answerer.seen().isEmpty());
    QVERIFY(!fixture.window().isVisible());
    QVERIFY(QFile::exists(fixture.libraryFile()));
}

void StartupShutdownTest::closingBeforeCreateDeletesNothing() {
    WindowFixture fixture;
    WriteFile(fixture.bitmapFile(), "someone else's");
    fixture.window().close();
    QCOMPARE(ReadFile(fixture.bitmapFile()), QByteArray("someone else's"));
}

void StartupShutdownTest::clipboardIsClearedOnlyWhileItHoldsOurPicture_data() {
    QTest::addColumn<bool>("copied");
    QTest::addColumn<bool>("textCopiedAfterwards");
    QTest::addColumn<bool>("pictureAfterClosing");
    QTest::addColumn<bool>("textAfterClosing");
    QTest::newRow("our picture") << true << false << false << false;
    QTest::newRow("a text copied after our picture") << true << true << false << true;
    QTest::newRow("a text, never our picture") << false << true << false << true;
}

void StartupShutdownTest::clipboardIsClearedOnlyWhileItHoldsOurPicture() {
    QFETCH(bool, copied);
    QFETCH(bool, textCopiedAfterwards);
    QFETCH(bool, pictureAfterClosing);
    QFETCH(bool, textAfterClosing);
    QGuiApplication::clipboard()->clear();
    WindowFixture fixture;
    fixture.Create("буфер", 2, 0);
    if (copied) {
        QTest::mouseClick(fixture.cmd(3), Qt::LeftButton);
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasImage());
    }
    if (textCopiedAfterwards) {
        QGuiApplication::clipboard()->setText("copied elsewhere");
    }
    fixture.window().close();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(data != nullptr && data->hasImage(), pictureAfterClosing);
    QCOMPARE(data != nullptr && data->text() == "copied elsewhere", textAfterClosing);
}

QTEST_MAIN(StartupShutdownTest)
#include "tst_startup_shutdown.moc"
