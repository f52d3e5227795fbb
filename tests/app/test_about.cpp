#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

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
    void cleanup()
    {
        QApplication::setApplicationVersion(QString());
        qApp->setProperty("buildVersion", QVariant());
    }

    void versionLineFallbacks()
    {
        const std::tuple<QString, QVariant, QString> cases[] = {{"2.3", "45", "Version 2.3 (45)"},
                                                                {"", QVariant(), "Version 1.0 (1)"},
                                                                {"", "45", "Version 1.0 (45)"},
                                                                {"2.3", QVariant(), "Version 2.3 (1)"}};
        for (const auto& [shortVersion, build, line] : cases) {
            QApplication::setApplicationVersion(shortVersion);
            qApp->setProperty("buildVersion", build);
            QCOMPARE(AboutWindowController().findChild<QLabel*>("versionLabel")->text(), line);
        }
    }

    void contentInOrder()
    {
        AboutWindowController about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Numera"));
        QVERIFY(about.width() == 320 && about.height() >= 280);
        QCOMPARE(about.minimumSize(), about.maximumSize());

        QStringList kinds;
        for (int i = 0; i < about.contentStackView()->count(); ++i) {
            QWidget* w = about.contentStackView()->itemAt(i)->widget();
            kinds << (w->objectName().isEmpty() ? QStringLiteral("spacer%1").arg(w->height()) : w->objectName());
        }
        QCOMPARE(kinds, QStringList({"spacer20", "iconView", "nameLabel", "versionLabel", "descriptionLabel",
                                     "spacer12", "linkButton", "spacer8", "okButton"}));
        QVERIFY(!about.findChild<QLabel*>("iconView")->pixmap().isNull());
        auto* name = about.findChild<QLabel*>("nameLabel");
        QCOMPARE(name->text(), QStringLiteral("Numera"));
        QVERIFY(name->font().pixelSize() == 24 && name->font().bold());
        QCOMPARE(about.findChild<QLabel*>("descriptionLabel")->text(),
                 QStringLiteral("A cross-platform Pi calculation benchmark"));
        auto* ok = about.findChild<QPushButton*>("okButton");
        QVERIFY(ok->text() == QStringLiteral("OK") && ok->isDefault());
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

    // Modal, centred over the main window, and closed by OK or Return.
    void modalLoopEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Return key") << "return";
    }
    void modalLoopEnds()
    {
        QFETCH(QString, how);
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
            if (how == "ok")
                QTest::mouseClick(about->findChild<QPushButton*>("okButton"), Qt::LeftButton);
            else
                QTest::keyClick(about, Qt::Key_Return);
        });
        about->showWindow();  // returns only when the modal loop has ended
        QVERIFY(wasModal && !about->isVisible());
        QVERIFY((aboutCenter - mainWindow.geometry().center()).manhattanLength() <= 1);  // centred over it
    }
};

NUMERA_TEST_GROUP("about", TestAbout);
#include "test_about.moc"
