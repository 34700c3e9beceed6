// Create from the user's side: what reaches the library (read back from the
// file it wrote with a decoder), the window after it, and the faults it
// reports instead of showing a stale picture.
#include <QApplication>
#include <QFile>
#include <QTest>

#include "file_identity.h"
#include "messages.h"
#include "support/decoder.h"
#include "support/message_box_answerer.h"
#include "support/window_fixture.h"

class CreateTest : public QObject {
    Q_OBJECT

  private slots:
    void levelAndSizeReachTheLibrary_data();
    void levelAndSizeReachTheLibrary();
    void textIsTrimmedOfSpacesOnly_data();
    void textIsTrimmedOfSpacesOnly();
    void windowAfterCreate();
    void twoCreatesInARow();
    void fullTextBoxOfCyrillic_data();
    void fullTextBoxOfCyrillic();
    void folderEndingInSeparator();
    void missingLibraryIsReportedAndTheWindowCarriesOn();
};

namespace {

QImage Preview(const WindowFixture& fixture) {
    return fixture.image()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage FileImage(const QString& path) {
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

void CreateTest::levelAndSizeReachTheLibrary_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("sizeIndex");
    QTest::addColumn<QString>("levelLetter");
    QTest::addColumn<int>("side");  // "abc" is a 21-module symbol at every level
    QTest::newRow("L, 1") << 0 << 0 << "L" << (21 + 2 * 1) * 5;
    QTest::newRow("M, 5") << 1 << 1 << "M" << (21 + 2 * 5) * 5;
    QTest::newRow("Q, 10") << 2 << 2 << "Q" << (21 + 2 * 10) * 5;
    QTest::newRow("H, 25") << 3 << 5 << "H" << (21 + 2 * 25) * 5;
    QTest::newRow("L, 15") << 0 << 3 << "L" << (21 + 2 * 15) * 5;
    QTest::newRow("H, 20") << 3 << 4 << "H" << (21 + 2 * 20) * 5;
}

void CreateTest::levelAndSizeReachTheLibrary() {
    QFETCH(int, level);
    QFETCH(int, sizeIndex);
    QFETCH(QString, levelLetter);
    QFETCH(int, side);
    WindowFixture fixture;
    fixture.Create("abc", level, sizeIndex);
    QCOMPARE(fixture.window().bitmapPath(), fixture.bitmapFile());
    const QImage written = FileImage(fixture.bitmapFile());
    QCOMPARE(written.size(), QSize(side, side));
    const DecodedSymbol symbol = Decode(written);
    QVERIFY(symbol.valid);
    QCOMPARE(symbol.bytes, QByteArray("abc"));
    QCOMPARE(symbol.level, levelLetter);
    QCOMPARE(Preview(fixture), written);
}

void CreateTest::textIsTrimmedOfSpacesOnly_data() {
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("spaces around a word") << "   слово  "
                                          << "слово";
    QTest::newRow("two words") << " two  words "
                               << "two  words";
    QTest::newRow("two lines, line break at the end") << "one\ntwo\n "
                                                      << "one\ntwo\n";
    QTest::newRow("tab kept") << "\tx "
                              << "\tx";
}

void CreateTest::textIsTrimmedOfSpacesOnly() {
    QFETCH(QString, pasted);
    QFETCH(QString, encoded);
    WindowFixture fixture;
    fixture.Paste(pasted);
    QTest::mouseClick(fixture.cmd(0), Qt::LeftButton);
    QCOMPARE(fixture.window().encodedText(), encoded);
    const DecodedSymbol symbol = Decode(FileImage(fixture.bitmapFile()));
    QVERIFY(symbol.valid);
    QCOMPARE(QString::fromUtf8(symbol.bytes), encoded);
}

void CreateTest::windowAfterCreate() {
    WindowFixture fixture;
    fixture.Create("после", 1, 4);
    QCOMPARE(fixture.txt()->text(), QString());
    QCOMPARE(QApplication::focusWidget(), fixture.txt());
    QVERIFY(!fixture.cmd(0)->isEnabled());
    QVERIFY(!fixture.frame()->isEnabled());
    QVERIFY(!fixture.combo()->isEnabled());
    for (int i = 1; i <= 4; ++i) {
        QVERIFY(fixture.cmd(i)->isEnabled());
    }
    QVERIFY(fixture.opt(1)->isChecked());
    QCOMPARE(fixture.window().currentLevel(), 1);
    QCOMPARE(fixture.combo()->currentText(), QString("20"));
    fixture.Type("z");
    QVERIFY(fixture.cmd(0)->isEnabled() && fixture.frame()->isEnabled());
}

void CreateTest::twoCreatesInARow() {
    WindowFixture fixture;
    fixture.Create("first", 2, 0);
    const QImage first = Preview(fixture);
    fixture.Create("second, longer than the first one", 2, 0);
    const QImage second = FileImage(fixture.bitmapFile());
    QVERIFY(second != first);
    QCOMPARE(Preview(fixture), second);
    QCOMPARE(Decode(Preview(fixture)).bytes, QByteArray("second, longer than the first one"));
}

void CreateTest::fullTextBoxOfCyrillic_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("earlierPicture");
    QTest::addColumn<bool>("fits");  // 2000 UTF-8 bytes
    QTest::newRow("L") << 0 << false << true;
    QTest::newRow("M") << 1 << true << true;
    QTest::newRow("Q, no earlier picture") << 2 << false << false;
    QTest::newRow("Q, earlier picture") << 2 << true << false;
    QTest::newRow("H, earlier picture") << 3 << true << false;
}

void CreateTest::fullTextBoxOfCyrillic() {
    QFETCH(int, level);
    QFETCH(bool, earlierPicture);
    QFETCH(bool, fits);
    WindowFixture fixture;
    if (earlierPicture) {
        fixture.Create("earlier", 0, 0);
    }
    const QImage previewBefore = Preview(fixture);
    const FileIdentity fileBefore = IdentityOf(fixture.bitmapFile());

    const QString text(1000, u'ё');
    fixture.Paste(text);
    QTest::mouseClick(fixture.opt(level), Qt::LeftButton);
    fixture.combo()->setCurrentIndex(1);
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    QTest::mouseClick(fixture.cmd(0), Qt::LeftButton);

    if (fits) {
        QVERIFY(answerer.seen().isEmpty());
        QCOMPARE(Decode(FileImage(fixture.bitmapFile())).bytes, text.toUtf8());
        return;
    }
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen()[0].objectName, QString("msgTextDoesNotFit"));
    QCOMPARE(answerer.seen()[0].title, QString("QR"));
    QCOMPARE(answerer.seen()[0].text, Messages::TextDoesNotFit());
    // Everything as it was, so that the user can shorten the text or lower
    // the level.
    QCOMPARE(fixture.txt()->text(), text);
    QCOMPARE(fixture.window().currentLevel(), level);
    QCOMPARE(fixture.combo()->currentIndex(), 1);
    QVERIFY(fixture.cmd(0)->isEnabled());
    QCOMPARE(Preview(fixture), previewBefore);
    QCOMPARE(IdentityOf(fixture.bitmapFile()), fileBefore);
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(fixture.cmd(i)->isEnabled(), earlierPicture);
    }
}

void CreateTest::folderEndingInSeparator() {
    WindowFixture fixture("/");
    fixture.Create("root", 2, 0);
    QVERIFY(fixture.window().bitmapPath().endsWith("//QR.bmp"));
    QCOMPARE(fixture.window().bitmapPath(), fixture.folder() + "/QR.bmp");
    QVERIFY(Decode(FileImage(fixture.bitmapFile())).valid);
}

void CreateTest::missingLibraryIsReportedAndTheWindowCarriesOn() {
    WindowFixture fixture;
    const QByteArray library = [&] {
        QFile file(fixture.libraryFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(QFile::remove(fixture.libraryFile()));
    fixture.Type("текст");
    {
        MessageBoxAnswerer answerer(QMessageBox::Ok);
        QTest::mouseClick(fixture.cmd(0), Qt::LeftButton);
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen()[0].objectName, QString("msgLibraryNotLoaded"));
        QVERIFY(answerer.seen()[0].text.contains(fixture.libraryFile()));
    }
    QCOMPARE(fixture.txt()->text(), QString("текст"));
    QVERIFY(!QFile::exists(fixture.bitmapFile()));

    // With the file back, the next Create binds the library and works.
    QFile file(fixture.libraryFile());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(library) == library.size());
    file.close();
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    QTest::mouseClick(fixture.cmd(0), Qt::LeftButton);
    QVERIFY2(answerer.seen().isEmpty(), qPrintable(answerer.seen().value(0).text));
    QCOMPARE(Decode(FileImage(fixture.bitmapFile())).bytes, QString("текст").toUtf8());
}

QTEST_MAIN(CreateTest)
#include "tst_create.moc"
