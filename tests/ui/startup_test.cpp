// What the window does when it opens: output folder, favorites, start page.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/output/code_page.h"
#include "test_support.h"
#include "ui/frmmain.h"

using namespace tabvoro;

class StartupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;

    QString programFolder() const { return QString::fromStdString(m_dir->folder()); }
    void write(const QString &path, const QByteArray &bytes) { test::writeBytes(path.toStdString(), bytes.toStdString()); }

    std::unique_ptr<ui::Frmmain> open(bool openStartPage = false)
    {
        ui::FrmmainOptions options;
        options.programFolder = programFolder();
        options.openStartPage = openStartPage;
        options.reportOpenBrowserWindows = false;
        return std::make_unique<ui::Frmmain>(options);
    }

private slots:
    void init() { m_dir = std::make_unique<test::ScratchDir>(); }

    void outputFolder_data()
    {
        QTest::addColumn<QString>("programFolderState");
        QTest::newRow("fresh") << "fresh";
        QTest::newRow("download is a file") << "file";
        QTest::newRow("read-only program folder") << "read-only";
    }

    // Created beside the program and listed; where it cannot be, the user's data folder instead.
    void outputFolder()
    {
        QFETCH(QString, programFolderState);
        QString expected = programFolder() + "download/";
        if (programFolderState != "fresh") {
            expected = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/download/";
            QVERIFY(QDir().mkpath(expected));
            write(expected + "earlier.csv", "x");
        }
        if (programFolderState == "file")
            write(programFolder() + "download", "not a folder");
        if (programFolderState == "read-only") {
            if (geteuid() == 0)
                QSKIP("permissions do not bind root");
            QVERIFY(QFile::setPermissions(programFolder(), QFile::ReadOwner | QFile::ExeOwner));
        }
        const auto window = open();
        QCOMPARE(window->outputFolder(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QCOMPARE(window->File1->count(), programFolderState == "fresh" ? 0 : 1);
        if (programFolderState != "fresh")
            QVERIFY(QDir(expected).removeRecursively());
    }

    void favorites_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("second line empty") << QByteArray("http://a/\r\n\r\nhttp://c/\r\n")
                                           << QStringList({"http://a/", "", "http://c/"});
        QTest::newRow("code page") << QByteArray::fromStdString(capture::encodeText("http://例子/", "GB18030")->bytes)
                                   << QStringList({"http://例子/"});
    }

    void favorites()
    {
        QFETCH(QByteArray, bytes);
        write(programFolder() + "favorites.ini", bytes);
        const auto window = open();
        QStringList rows;
        for (int i = 0; i < window->Combo1->count(); ++i)
            rows << window->Combo1->itemText(i);
        QTEST(rows, "rows");
    }

    void startPage()
    {
        // Without index.htm beside the program: the default home page, the address box empty.
        auto window = open(true);
        QCOMPARE(window->browserEngine()->loadingUrl(), QUrl(ui::kDefaultHomePage));
        QCOMPARE(window->Txturl->text(), QString());
        QCOMPARE(window->List1->count(), 0);

        const QString index = programFolder() + "index.htm";
        write(index, "<html><body>起始页</body></html>");
        QCOMPARE(open(false)->browserEngine()->loadingUrl(), QUrl("about:blank"));
        window = open(true);
        QCOMPARE(window->Txturl->text(), index);
        QSignalSpy loaded(window->webBrowser(), &browser::WebBrowser::DocumentComplete);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toUrl() == QUrl::fromLocalFile(index), 20000);
    }
};

int main(int argc, char **argv)
{
    // The per-user data folder of this run is its own.
    test::ScratchDir home;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.folder()));
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
