#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "about_window_controller.h"
#include "test_support.h"

// Receives the URLs the About window asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void versionLine_data();
    void versionLine();
    void contentInOrder();
    void linkOpensTheProductSite();
    void modalLoopEnds_data();
    void modalLoopEnds();
};

void TestAbout::cleanup()
{
    QApplication::setApplicationVersion(QString());
    qApp->setProperty("buildVersion", QVariant());
}

void TestAbout::versionLine_data()
{
    QTest::addColumn<QString>("shortVersion");
    QTest::addColumn<QVariant>("build");
    QTest::addColumn<QString>("line");
    QTest::newRow("both") << "2.3" << QVariant("45") << "Version 2.3 (45)";
    QTest::newRow("neither") << "" << QVariant() << "Version 1.0 (1)";
    QTest::newRow("build only") << "" << QVariant("45") << "Version 1.0 (45)";
    QTest::newRow("short only") << "2.3" << QVariant() << "Version 2.3 (1)";
}

void TestAbout::versionLine()
{
    QFETCH(QString, shortVersion);
    QFETCH(QVariant, build);
    QFETCH(QString, line);
    QApplication::setApplicationVersion(shortVersion);
    qApp->setProperty("buildVersion", build);
    AboutWindowController about;
    QCOMPARE(about.findChild<QLabel*>("versionLabel")->text(), line);
}

void TestAbout::contentInOrder()
{
    AboutWindowController about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Numera"));
    QVERIFY(about.width() == 320 && about.height() >= 280);
    QCOMPARE(about.minimumSize(), about.maximumSize());  // not resizable
    QVERIFY(about.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));

    QVBoxLayout* stack = about.contentStackView();
    QCOMPARE(stack->spacing(), 12);
    QStringList kinds;
    for (int i = 0; i < stack->count(); ++i) {
        QWidget* w = stack->itemAt(i)->widget();
        QVERIFY(w);
        if (!w->objectName().isEmpty())
            kinds << w->objectName();
        else
            kinds << QStringLiteral("spacer%1").arg(w->height());
    }
    QCOMPARE(kinds, QStringList({"spacer20", "iconView", "nameLabel", "versionLabel",
                                 "descriptionLabel", "spacer12", "linkButton", "spacer8", "okButton"}));

    auto* icon = about.findChild<QLabel*>("iconView");
    QCOMPARE(icon->size(), QSize(64, 64));
    QVERIFY(!icon->pixmap().isNull());

    auto* name = about.findChild<QLabel*>("nameLabel");
    QCOMPARE(name->text(), QStringLiteral("Numera"));
    QCOMPARE(name->font().pixelSize(), 24);
    QVERIFY(name->font().bold());

    auto* description = about.findChild<QLabel*>("descriptionLabel");
    QCOMPARE(description->text(), QStringLiteral("A cross-platform Pi calculation benchmark"));
    QVERIFY(description->wordWrap());
    QCOMPARE(description->font().pixelSize(), 11);

    auto* link = about.findChild<QPushButton*>("linkButton");
    QCOMPARE(link->text(), QStringLiteral("https://numera.app"));
    auto* ok = about.findChild<QPushButton*>("okButton");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    about.show();
    QVERIFY(ok->width() >= 80);
}

void TestAbout::linkOpensTheProductSite()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    AboutWindowController about;
    about.show();
    QTest::mouseClick(about.findChild<QPushButton*>("linkButton"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(catcher.urls, QList<QUrl>({QUrl("https://numera.app")}));
}

void TestAbout::modalLoopEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("OK button") << "ok";
    QTest::newRow("Return key") << "return";
    QTest::newRow("title bar close") << "close";
}

void TestAbout::modalLoopEnds()
{
    QFETCH(QString, how);
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 400, 505);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    auto* about = new AboutWindowController(&mainWindow);

    bool wasModal = false;
    QPointF aboutCenter;
    QTimer::singleShot(0, about, [&] {
        wasModal = QApplication::activeModalWidget() == about;
        aboutCenter = QRectF(about->geometry()).center();
        if (how == "ok")
            QTest::mouseClick(about->findChild<QPushButton*>("okButton"), Qt::LeftButton);
        else if (how == "return")
            QTest::keyClick(about, Qt::Key_Return);
        else
            about->close();
    });
    about->showWindow();  // returns only when the modal loop has ended
    QVERIFY(wasModal);
    QVERIFY(!about->isVisible());
    const QPointF mainCenter = QRectF(mainWindow.geometry()).center();
    QVERIFY2((aboutCenter - mainCenter).manhattanLength() <= 1.0,
             qPrintable(QStringLiteral("about centre %1,%2, main centre %3,%4")
                            .arg(aboutCenter.x()).arg(aboutCenter.y())
                            .arg(mainCenter.x()).arg(mainCenter.y())));
}

int runAboutTests(int argc, char** argv)
{
    TestAbout test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_about.moc"
