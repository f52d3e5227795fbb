#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "about_window_controller.h"
#include "test_support.h"

class TestAbout : public QObject {
    Q_OBJECT

public slots:
    // Receives the URLs the About window asks the desktop to open.
    void openUrl(const QUrl& url) { opened.append(url); }

private:
    QList<QUrl> opened;

private slots:
    void versionLineFallbacks()
    {
        const std::tuple<QString, QVariant, QString> cases[] = {{"2.3", "45", "Version 2.3 (45)"},
                                                                {"", "45", "Version 1.0 (45)"},
                                                                {"2.3", QVariant(), "Version 2.3 (1)"}};
        for (const auto& [shortVersion, build, line] : cases) {
            QApplication::setApplicationVersion(shortVersion);
            qApp->setProperty("buildVersion", build);
            QCOMPARE(AboutWindowController().findChild<QLabel*>("versionLabel")->text(), line);
        }
        QApplication::setApplicationVersion(QString());
        qApp->setProperty("buildVersion", QVariant());
    }

    // A fixed size, its icon built in, OK the default button.
    void content()
    {
        AboutWindowController about;
        QVERIFY(about.width() == 320 && about.height() >= 280);
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!about.findChild<QLabel*>("iconView")->pixmap().isNull());
        auto* ok = about.findChild<QPushButton*>("okButton");
        QVERIFY(ok->isDefault());
        about.show();
        QVERIFY(ok->width() >= 80);

        // The link shows the product address and asks the desktop to open it.
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        auto* link = about.findChild<QPushButton*>("linkButton");
        QTest::mouseClick(link, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(opened, QList<QUrl>({QUrl(link->text())}));
        QCOMPARE(link->text(), QStringLiteral("https://numera.app"));
    }

    // Modal, centred over the main window, and closed by Return.
    void modalOverTheMainWindow()
    {
        QWidget mainWindow;
        mainWindow.setGeometry(100, 80, 400, 505);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        auto* about = new AboutWindowController(&mainWindow);
        bool wasModal = false;
        QPoint aboutCenter;
        QTimer::singleShot(0, about, [&] {
            wasModal = QApplication::activeModalWidget() == about;
            aboutCenter = about->geometry().center();
            QTest::keyClick(about, Qt::Key_Return);
        });
        about->showWindow();  // returns only when the modal loop has ended
        QVERIFY(wasModal && !about->isVisible());
        QVERIFY((aboutCenter - mainWindow.geometry().center()).manhattanLength() <= 1);
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
