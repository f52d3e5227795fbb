// The modal About window: icon, name, version, a one-line description, a
// link to the product website and an OK button.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

class QVBoxLayout;

class AboutWindowController : public QDialog {
    Q_OBJECT

public:
    // Reads the version from QCoreApplication::applicationVersion() and the
    // build number from the application property "buildVersion"; built once.
    explicit AboutWindowController(QWidget* parent = nullptr);

    static constexpr int contentWidth = 320;
    static constexpr int contentHeight = 280;

    // "Version <short> (<build>)", with "1.0" and "1" for missing parts.
    static QString versionText(const QString& shortVersion, const QString& buildVersion);

    // The application icon, "AppIcon", from the resources; null if missing.
    static QIcon appIcon();

    QVBoxLayout* contentStackView() const { return contentStackView_; }

    // Centres the window over the application's main window (or the screen),
    // shows it and returns when it has been closed.
    void showWindow();

public slots:
    void openWebsite();
    void closeWindow();

private:
    void setupUI();

    QVBoxLayout* contentStackView_ = nullptr;
};
