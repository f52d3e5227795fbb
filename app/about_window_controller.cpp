#include "about_window_controller.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "app_constants.h"
#include "palette.h"

namespace {

QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QWidget* fixedHeightSpacer(int height)
{
    auto* spacer = new QWidget;
    spacer->setFixedHeight(height);
    return spacer;
}

QLabel* secondaryLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(systemFont(11));
    label->setAlignment(Qt::AlignHCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Palette::secondaryLabelColor());
    label->setPalette(palette);
    return label;
}

}  // namespace

AboutWindowController::AboutWindowController(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About %1").arg(QString::fromUtf8(numera::applicationName)));
    setModal(true);
    setupUI();
}

QIcon AboutWindowController::appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256, 512}) {
        const QString file = QStringLiteral(":/icons/AppIcon-%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

QString AboutWindowController::versionText(const QString& shortVersion,
                                           const QString& buildVersion)
{
    return QStringLiteral("Version %1 (%2)")
        .arg(shortVersion.isEmpty() ? QStringLiteral("1.0") : shortVersion,
             buildVersion.isEmpty() ? QStringLiteral("1") : buildVersion);
}

void AboutWindowController::setupUI()
{
    contentStackView_ = new QVBoxLayout(this);
    contentStackView_->setSpacing(12);
    contentStackView_->setContentsMargins(30, 0, 30, 15);

    contentStackView_->addWidget(fixedHeightSpacer(20));

    const QIcon icon = appIcon();
    if (!icon.isNull()) {
        auto* iconView = new QLabel;
        iconView->setObjectName(QStringLiteral("iconView"));
        iconView->setFixedSize(64, 64);
        iconView->setPixmap(icon.pixmap(QSize(64, 64), devicePixelRatio()));
        contentStackView_->addWidget(iconView, 0, Qt::AlignHCenter);
    }

    auto* nameLabel = new QLabel(QString::fromUtf8(numera::applicationName));
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    nameLabel->setFont(systemFont(24, QFont::Bold));
    nameLabel->setAlignment(Qt::AlignHCenter);
    contentStackView_->addWidget(nameLabel, 0, Qt::AlignHCenter);

    const QString buildVersion = qApp->property("buildVersion").toString();
    auto* versionLabel = secondaryLabel(versionText(QApplication::applicationVersion(), buildVersion));
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    contentStackView_->addWidget(versionLabel, 0, Qt::AlignHCenter);

    auto* descriptionLabel = secondaryLabel(QStringLiteral("A cross-platform Pi calculation benchmark"));
    descriptionLabel->setObjectName(QStringLiteral("descriptionLabel"));
    descriptionLabel->setWordWrap(true);
    contentStackView_->addWidget(descriptionLabel);

    contentStackView_->addWidget(fixedHeightSpacer(12));

    auto* linkButton = new QPushButton(QString::fromUtf8(numera::productUrl));
    linkButton->setObjectName(QStringLiteral("linkButton"));
    linkButton->setFont(systemFont(11));
    linkButton->setAutoDefault(false);
    linkButton->setCursor(Qt::PointingHandCursor);
    connect(linkButton, &QPushButton::clicked, this, &AboutWindowController::openWebsite);
    contentStackView_->addWidget(linkButton, 0, Qt::AlignHCenter);

    contentStackView_->addWidget(fixedHeightSpacer(8));

    auto* okButton = new QPushButton(QStringLiteral("OK"));
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);  // Return
    okButton->setMinimumWidth(80);
    connect(okButton, &QPushButton::clicked, this, &AboutWindowController::closeWindow);
    contentStackView_->addWidget(okButton, 0, Qt::AlignHCenter);

    // 320 x 280 unless the content needs more height; never resizable.
    const int height = std::max(contentHeight, contentStackView_->totalHeightForWidth(contentWidth));
    setFixedSize(contentWidth, height);
}

void AboutWindowController::showWindow()
{
    QWidget* mainWindow = parentWidget() ? parentWidget()->window() : nullptr;
    if (!mainWindow) {
        for (QWidget* candidate : QApplication::topLevelWidgets()) {
            if (candidate != this && candidate->isVisible() && !qobject_cast<QDialog*>(candidate)) {
                mainWindow = candidate;
                break;
            }
        }
    }
    // Client area on client area: the frames are not known before showing.
    QRect area;
    if (mainWindow)
        area = mainWindow->geometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) {
        const QSize own = size();
        setGeometry(area.x() + static_cast<int>((area.width() - own.width()) * 0.5),
                    area.y() + static_cast<int>((area.height() - own.height()) * 0.5),
                    own.width(), own.height());
    }
    exec();
}

void AboutWindowController::openWebsite()
{
    const QUrl url(QString::fromUtf8(numera::productUrl), QUrl::StrictMode);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void AboutWindowController::closeWindow()
{
    // Ends the modal loop and closes the window.
    accept();
}
